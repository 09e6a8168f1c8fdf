#pragma once

#include "session/Button.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// What the page may ask of the server, read from a request body and checked
// for shape and range before anything acts on it. Qt Core only, so that the
// fuzz build takes it as it is.
namespace Requests
{

// Bodies beyond this are refused before they are read as JSON.
constexpr qsizetype MaxBody = 64 * 1024;
// The buttons of the board, the result panel and the explanation.
using ::Button;

// A term put into a frame (frame >= 0), or let go at a place on the board
// (frame -1, left/top in twips).
struct Move {
    int term = 0;
    int frame = -1;
    float left = 0.0F;
    float top = 0.0F;
};

// A term picked up with the keys or a tap, carried from frame to frame,
// put down there, or put back where it lay.
enum class Carry { PickUp, Toggle, Left, Right, Up, Down, PutDown, PutBack };

enum class Kind { SignIn, Open, Move, Press, Carry };

struct Command {
    Kind kind = Kind::SignIn;
    // Every action but sign-in names the state it acts on, and may carry a
    // key that is the same when the page sends the action again.
    qint64 seq = -1;
    QByteArray key;
    // The class round's problem the action's state shows ("" for the
    // learner's own), so that an action made before a round's step is not
    // applied to another board.
    QString round;
    QString code;                 // SignIn
    int entry = -1;               // Open: the row of the series list
    Move move;                    // Move
    Button button = Button::Next; // Press
    Carry carry = Carry::PickUp;  // Carry, with move.term for PickUp and Toggle
};

// An action key: 8 to 64 characters of letters, digits, '-' and '_'.
bool validKey(QByteArrayView key);

// Reads the body of a request of `kind`. On failure returns nothing and
// sets *why to a Japanese reason for the 400 answer.
std::optional<Command> parse(Kind kind, QByteArrayView body, QString* why);

// The action a verb of the page names ("open", "move", "press", "carry").
std::optional<Kind> verbKind(QStringView verb);

// Whether a state-changing request comes from the server's own page: its
// Origin (or, without one, its Referer) names the host it was sent to.
bool sameOrigin(QByteArrayView host, QByteArrayView origin, QByteArrayView referer);

// The session id from a Cookie header, if it holds a well-formed one.
constexpr const char* CookieName = "velmorant_session";
constexpr const char* TeacherCookieName = "velmorant_teacher";
// A browser that signed in before (SignInGuard::limitFor).
constexpr const char* DeviceCookieName = "velmorant_device";
QByteArray sessionCookie(QByteArrayView cookieHeader, const char* cookieName = CookieName);

} // namespace Requests
