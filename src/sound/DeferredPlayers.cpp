#include "sound/DeferredPlayers.h"

#include "sound/SoundModule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

#include <utility>

DeferredPlayers::DeferredPlayers(Factory factory) : factory_(std::move(factory)) {}

DeferredPlayers::~DeferredPlayers() = default;

void DeferredPlayers::open(SoundCue cue, const QString& fileName)
{
    call({Call::Action::Open, cue, fileName});
}

void DeferredPlayers::rewind(SoundCue cue)
{
    call({Call::Action::Rewind, cue, {}});
}

void DeferredPlayers::play(SoundCue cue)
{
    call({Call::Action::Play, cue, {}});
}

// Passes a call on to the real players, or keeps it until they are made.
void DeferredPlayers::call(const Call& c)
{
    if (!started_) {
        pending_.push_back(c);
        return;
    }
    if (!real_) {
        return;
    }
    switch (c.action) {
    case Call::Action::Open:
        real_->open(c.cue, c.fileName);
        break;
    case Call::Action::Rewind:
        real_->rewind(c.cue);
        break;
    case Call::Action::Play:
        real_->play(c.cue);
        break;
    }
}

void DeferredPlayers::start()
{
    if (started_) {
        return;
    }
    started_ = true;
    if (factory_) {
        real_ = factory_();
    }
    std::vector<Call> calls;
    calls.swap(pending_);
    if (!real_) {
        return;
    }
    for (const Call& c : calls) {
        call(c);
    }
}

QString DeferredPlayers::modulePath()
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString name = QString::fromLatin1(SoundModule::FileName);
    // Beside the program in the build, or in the program's own folder under
    // lib (lib/<triplet> under /usr) once installed.
    const QString beside = dir + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    return dir + QStringLiteral("/" VELMORANT_MODULE_FROM_BIN "/") + name;
}

std::unique_ptr<Players> DeferredPlayers::loadModule(const QString& modulePath,
                                                     const QString& workDir)
{
    // The module stays loaded for the rest of the program: its players are
    // never unloaded.
    QLibrary library(modulePath);
    if (!library.load()) {
        return nullptr;
    }
    const auto create =
        reinterpret_cast<SoundModule::CreatePlayers>(library.resolve(SoundModule::CreateSymbol));
    if (create == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<Players>(create(&workDir));
}
