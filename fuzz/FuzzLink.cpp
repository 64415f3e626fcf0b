// The viewer link's receiving side: bytes from the peer, in chunks of any
// size, split into lines the way the socket's data is, and each line taken
// as a protocol message.
#include "FuzzEnv.h"
#include "OrvexLink.h"

#include <algorithm>
#include <cstdlib>

namespace {

void check(bool cond)
{
    if (!cond)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzEnv::setUp();
    OrvexLink link;
    qsizetype received = 0;
    QObject::connect(&link, &TcpClient::receiveAnMsg, &link, [&](const QByteArray &msg) {
        check(!msg.isEmpty());
        check(!msg.contains('\n'));
        check(msg.size() <= TcpClient::MaxLineBytes);
        received += msg.size();
    });
    int busyChanges = 0;
    QObject::connect(&link, &OrvexLink::changedIsBusy, &link, [&](bool f) {
        check(f == link.busy);
        ++busyChanges;
    });

    // The first byte chooses the chunk sizes the bytes arrive in.
    const int chunk = size > 0 ? 1 + data[0] % 64 : 1;
    const char *bytes = reinterpret_cast<const char *>(data);
    size_t at = size > 0 ? 1 : 0;
    int n = 0;
    while (at < size) {
        // between one and two times the chosen size, never 0
        const size_t len = std::min(size - at, size_t(chunk + (n++ * 7) % chunk));
        link.takeBytes(QByteArray(bytes + at, qsizetype(len)));
        at += len;
        check(link.pendingBytes() <= TcpClient::MaxLineBytes);
    }
    check(received <= qsizetype(size));
    check(link.pendingBytes() + received <= qsizetype(size));
    // Only a reply that is not busy names a finished request.
    if (link.busy)
        check(link.finishedCmd.isEmpty());
    // A request then goes out (dropped while unlinked) and keeps the link busy.
    link.exec2dA(QStringLiteral("00001"));
    return 0;
}
