#include "window/ProgramImages.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <mutex>

// The resources live in a static library: without an explicit reference the
// linker would leave them out of the program.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace ProgramImages
{

namespace
{

QImage read(const QString& name)
{
    // Read as PNG by the built-in reader: guessing the format would load
    // every image plugin first, which delays the first frame.
    QImageReader reader(QStringLiteral(":/velmorant/") + name, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

struct Images {
    QImage icon;
    QImage title;
};

// Decoded once, by whichever thread asks first; QImage may be made on any
// thread, QPixmap only on the main one.
const Images& images()
{
    static std::once_flag once;
    static Images decoded;
    std::call_once(once, [] {
        initResources();
        decoded.icon = read(QStringLiteral("icon.png"));
        decoded.title = read(QStringLiteral("title.png"));
    });
    return decoded;
}

} // namespace

void decodeAhead()
{
    (void)images();
}

QIcon icon()
{
    return QIcon(QPixmap::fromImage(images().icon));
}

QPixmap title()
{
    return QPixmap::fromImage(images().title);
}

} // namespace ProgramImages
