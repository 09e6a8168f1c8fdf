#pragma once

#include "server/http/HttpServer.h"

#include <QString>

#include <functional>

class Store;
class Workers;

// The store's work for a request, off the event loop: run on a worker with
// that thread's store, and answered from there.
namespace StoreCalls
{

// The threads a request's store work runs on: what only reads (the
// teacher's pages, a session looked up) apart from what writes (sign-outs,
// the teacher's changes), so that a write waiting for another program's
// lock never holds up a read; and hashing, which takes a core for a while
// and so runs at a lower priority.
struct Desks {
    Workers& reads;
    Workers& writes;
    Workers& hashing;
};

// The store's failure as a learner or the teacher is told it, without its
// place: that stays in the log.
QString storeDown();

// Runs `work` on one of `workers` with its store; its reply, unless it
// answers later still (status 0), goes out from there. 503 when too many
// wait or the store cannot be opened, after `notRun` (when given).
HttpReply later(Workers& workers, const HttpResponder& respond,
                std::function<HttpReply(Store&)> work, const std::function<void()>& notRun = {});

} // namespace StoreCalls
