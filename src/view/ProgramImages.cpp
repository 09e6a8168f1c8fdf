#include "view/ProgramImages.h"

#include <QImageReader>
#include <QString>

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

QPixmap load(const QString& name)
{
    static const bool initialised = [] {
        initResources();
        return true;
    }();
    Q_UNUSED(initialised);
    // Read as PNG by the built-in reader: guessing the format would load
    // every image plugin first, which delays the first frame.
    QImageReader reader(QStringLiteral(":/velmorant/") + name, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

QIcon icon()
{
    return QIcon(load(QStringLiteral("icon.png")));
}

QPixmap title()
{
    return load(QStringLiteral("title.png"));
}

} // namespace ProgramImages
