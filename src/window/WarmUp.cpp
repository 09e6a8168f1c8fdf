#include "window/WarmUp.h"

#include "files/TextFile.h"
#include "measure/QtFonts.h"
#include "window/ProgramImages.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

#include <fontconfig/fontconfig.h>

WarmUp::WarmUp() : thread_([this] { run(); }) {}

WarmUp::~WarmUp()
{
    finish();
}

void WarmUp::finish()
{
    if (thread_.joinable()) {
        applicationReady();
        thread_.join();
    }
}

void WarmUp::applicationReady()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        applicationReady_ = true;
    }
    ready_.notify_one();
}

void WarmUp::run()
{
    FcInit();
    // The code page's tables are loaded once for the whole process: the
    // catalogue is read on the main thread before the first frame.
    QString text;
    (void)TextFile::decodeText("\x96\xe2\x91\xe8", &text);
    ProgramImages::decodeAhead();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return applicationReady_; });
    }
    // Font engines belong to the thread that made them, but the font list
    // and the fallbacks found for a face are kept for all. Fallbacks are
    // looked up once for each script a text uses, so the sample has kanji,
    // hiragana, katakana, Latin letters and the common signs and digits.
    QFontDatabase::families();
    const QString sample = QStringLiteral("問題をマークしたＡ（a, 1）");
    for (const bool bold : {false, true}) {
        const FontInfo gothic{QString::fromUtf16(FontInfo::Gothic), 11.25, bold};
        (void)QFontMetricsF(QtFonts::toQFont(gothic)).horizontalAdvance(sample);
    }
}
