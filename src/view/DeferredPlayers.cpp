#include "view/DeferredPlayers.h"

#include "sound/SoundModule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

#include <utility>

DeferredPlayers::DeferredPlayers(Factory factory) : factory_(std::move(factory)) {}

DeferredPlayers::~DeferredPlayers() = default;

void DeferredPlayers::configure(int player, const PlayerSettings& settings)
{
    if (started_) {
        if (real_) {
            real_->configure(player, settings);
        }
        return;
    }
    pending_.push_back({player, true, settings, QString()});
}

void DeferredPlayers::command(int player, const QString& command)
{
    if (started_) {
        if (real_) {
            real_->command(player, command);
        }
        return;
    }
    pending_.push_back({player, false, {}, command});
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
    for (const Call& call : calls) {
        if (call.isConfigure) {
            real_->configure(call.player, call.settings);
        } else {
            real_->command(call.player, call.command);
        }
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
