#include "WholeFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

bool WholeFile::finish(QSaveFile &f, bool ok)
{
    // the last buffered bytes are written here: a short write at this point
    // must not be renamed into place by commit()
    ok = ok && f.flush() && f.error() == QFileDevice::NoError;
    if (!ok) {
        f.cancelWriting();
        f.commit();     // removes the temporary file
        return false;
    }
    return f.commit();
}

bool WholeFile::write(const QString &file, const QByteArray &bytes, bool *opened)
{
    QSaveFile f(file);
    const bool open = f.open(QIODevice::WriteOnly);
    if (opened)
        *opened = open;
    if (!open)
        return false;
    // a write may stop short without an error (the disk filled up under it)
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = f.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    return finish(f, done == bytes.size());
}

bool WholeFile::writeImage(const QString &file, const QImage &image, int quality)
{
    // encoded in memory first: a disk that fills up under the encoder would
    // end it in its error path (the PNG writer then leaks its row buffer);
    // the bytes are then written as any others
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray format = QFileInfo(file).suffix().toLatin1();
    if (!image.save(&buffer, format.isEmpty() ? nullptr : format.constData(), quality))
        return false;
    return write(file, bytes);
}
