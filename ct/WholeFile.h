#pragma once
// A file written whole or not at all. The bytes go to a file of a temporary
// name in the target's folder, which is renamed into place only once every
// byte has reached it: a short write (a full disk, a file-size limit), a
// failed flush or a failed rename removes the temporary file and leaves an
// older file of that name as it was. Never leaves a half-written file under
// the target's name, even when the program is killed while writing.
#include <QByteArray>
#include <QString>

class QImage;
class QSaveFile;

class WholeFile
{
public:
    // False when the file could not be written whole; `opened` (if given)
    // tells whether the temporary file could be made at all.
    static bool write(const QString &file, const QByteArray &bytes, bool *opened = nullptr);
    // The image in the format named by the file's suffix; `quality` as
    // QImage::save takes it.
    static bool writeImage(const QString &file, const QImage &image, int quality = -1);

private:
    // Commits when `ok` and every buffered byte reached the file; otherwise
    // drops the temporary file.
    static bool finish(QSaveFile &f, bool ok);
};
