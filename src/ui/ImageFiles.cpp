#include "ui/ImageFiles.h"

#include "texture/image_files.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include <cstring>
#include <string>

namespace {

// Larger images are refused before they are decoded (a header may claim any
// size): 16384 x 16384 texels.
constexpr qint64 kMaxImagePixels = qint64(16384) * 16384;

bool readWithQt(const std::string& path, RgbaImage& image, std::string& why)
{
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) {
        why = "the file does not exist";
        return false;
    }
    if (info.isDir()) {
        why = "it is a folder, not a file";
        return false;
    }
    if (!info.isReadable()) {
        why = "the file cannot be opened for reading";
        return false;
    }
    if (info.size() == 0) {
        why = "the file is empty";
        return false;
    }
    QImageReader reader(name);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        why = "the file is not a PNG or JPEG image";
        return false;
    }
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxImagePixels) {
        why = "the image is too large (" + std::to_string(size.width()) + " x " + std::to_string(size.height()) +
              " pixels; at most 16384 x 16384)";
        return false;
    }
    QImage read = reader.read();
    if (read.isNull()) {
        why = "the image cannot be decoded (" + reader.errorString().toStdString() + ")";
        return false;
    }
    if (read.width() <= 0 || read.height() <= 0) {
        why = "the image has no pixels";
        return false;
    }
    const QImage rgba = read.convertToFormat(QImage::Format_RGBA8888);
    image = RgbaImage(rgba.width(), rgba.height());
    const size_t rowBytes = size_t(rgba.width()) * 4;
    for (int y = 0; y < rgba.height(); ++y)
        std::memcpy(image.pixel(0, y), rgba.constScanLine(y), rowBytes);
    return true;
}

bool writeWithQt(const RgbaImage& image, const std::string& path, std::string& why)
{
    if (image.empty() || image.pixels.size() < image.pixelCount() * 4) {
        why = "the image has no pixels";
        return false;
    }
    QImage out(image.width, image.height, QImage::Format_RGBA8888);
    if (out.isNull()) {
        why = "not enough memory for the image";
        return false;
    }
    const size_t rowBytes = size_t(image.width) * 4;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(out.scanLine(y), image.pixel(0, y), rowBytes);
    // Written under a temporary name and renamed when complete, so that an
    // interrupted or failed write never leaves a truncated image.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&file, "png");
    // A light compression: large textures are written at every stage.
    writer.setQuality(75);
    if (!writer.write(out)) {
        why = writer.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        why = file.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

void installQtImageFiles()
{
    setImageFileHandlers(readWithQt, writeWithQt);
}
