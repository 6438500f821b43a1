#include "ui/CheckerTile.h"

namespace checker_tile {

namespace {

// PNG, 64 x 64, 8-bit RGB, one zlib-compressed IDAT chunk.
const char* const TilePngBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAEAAAABACAIAAAAlC+aJAAAAZElEQVR42u3XoREAIAwEwfRf"
    "VQpDpIJXMTAsOoJVN18nvA7vtvsCAAAAAFgBXvlougcAAAAA2AGUGAAAAMAeUGIAAAAAe0CJ"
    "AQAAAOwBJQYAAACwB5QYAAAAwB5QYgAAAIBvAAMKwaJo321yJAAAAABJRU5ErkJggg==";

} // namespace

QByteArray base64Png()
{
    return QByteArray(TilePngBase64);
}

QImage decode()
{
    QImage image;
    image.loadFromData(QByteArray::fromBase64(base64Png()), "PNG");
    return image;
}

} // namespace checker_tile
