#include "server/learner/StoreCalls.h"

#include "server/http/ServerReplies.h"
#include "server/log/ServerLog.h"
#include "server/store/Workers.h"

namespace StoreCalls
{

QString storeDown()
{
    return QStringLiteral("記録を読み書きできないため、いまは続けられません。"
                          "しばらくしてからもう一度試してください");
}

HttpReply later(Workers& workers, const HttpResponder& respond,
                std::function<HttpReply(Store&)> work, const std::function<void()>& notRun)
{
    const bool taken = workers.run(
        [respond, work = std::move(work), notRun](Store* store, const QString& failure) {
            if (store == nullptr) {
                ServerLog::often(failure);
                if (notRun) {
                    notRun();
                }
                respond(ServerReplies::unavailable(storeDown()));
                return;
            }
            if (HttpReply r = work(*store); r.status != 0) {
                respond(std::move(r));
            }
        });
    if (!taken && notRun) {
        notRun();
    }
    return taken ? ServerReplies::pending()
                 : ServerReplies::unavailable(
                       QStringLiteral("混み合っています。少し待ってからもう一度試してください"));
}

} // namespace StoreCalls
