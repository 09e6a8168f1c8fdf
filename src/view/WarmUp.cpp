#include "view/FontWarmUp.h"

#include "view/QtFonts.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

#include <fontconfig/fontconfig.h>

FontWarmUp::FontWarmUp() : thread_([this] { run(); }) {}

FontWarmUp::~FontWarmUp()
{
    finish();
}

void FontWarmUp::finish()
{
    if (thread_.joinable()) {
        applicationReady();
        thread_.join();
    }
}

void FontWarmUp::applicationReady()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        applicationReady_ = true;
    }
    ready_.notify_one();
}

void FontWarmUp::run()
{
    FcInit();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return applicationReady_; });
    }
    // Font engines belong to the thread that made them, but the font list
    // and the fallbacks found for a face are kept for all.
    QFontDatabase::families();
    for (const bool bold : {false, true}) {
        const FontInfo gothic{QString::fromUtf16(FontInfo::Gothic), 11.25, bold};
        (void)QFontMetricsF(QtFonts::toQFont(gothic)).horizontalAdvance(QStringLiteral("問題"));
    }
}
