// SHA-256 of a 1 GiB file in the page cache: our wrapper (sha256OfDevice on a QFile, and the bare
// Sha256 class over 1 MiB reads) against `openssl dgst -sha256` on the same file.
#include "bench/bench_common.h"
#include "core/chunker.h"
#include "core/sha256.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QProcess>

using namespace vorn;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 size = qint64(1) << 30;
    const QString path = bench::preparedGigabyteFile(argc, argv);
    if (path.isEmpty())
        return 1;

    qint64 bestDevice = -1, bestPlain = -1, bestOpenssl = -1;
    QByteArray deviceDigest, plainDigest, opensslDigest;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        QFile file(path);
        deviceDigest = sha256OfDevice(&file);
        qint64 t = timer.nsecsElapsed();
        if (bestDevice < 0 || t < bestDevice)
            bestDevice = t;

        timer.restart();
        QFile raw(path);
        if (!raw.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return 1;
        std::vector<char> buffer(1 << 20);
        Sha256 sha;
        qint64 got;
        while ((got = raw.read(buffer.data(), qint64(buffer.size()))) > 0)
            sha.addData(buffer.data(), got);
        plainDigest = sha.result();
        t = timer.nsecsElapsed();
        if (bestPlain < 0 || t < bestPlain)
            bestPlain = t;

        QProcess openssl;
        timer.restart();
        openssl.start(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-r"), path});
        if (!openssl.waitForFinished(-1) || openssl.exitCode() != 0) {
            std::fprintf(stderr, "openssl dgst failed\n");
            return 1;
        }
        t = timer.nsecsElapsed();
        opensslDigest = QByteArray::fromHex(openssl.readAllStandardOutput().left(64));
        if (bestOpenssl < 0 || t < bestOpenssl)
            bestOpenssl = t;
    }

    // One smaller pass through Qt's own hash, for scale.
    const qint64 qtBytes = 256 * 1024 * 1024;
    QFile qtFile(path);
    qtFile.open(QIODevice::ReadOnly);
    QElapsedTimer timer;
    timer.start();
    QCryptographicHash qtHash(QCryptographicHash::Sha256);
    std::vector<char> buffer(1 << 20);
    for (qint64 done = 0; done < qtBytes; done += qint64(buffer.size())) {
        qtFile.read(buffer.data(), qint64(buffer.size()));
        qtHash.addData(buffer.data(), int(buffer.size()));
    }
    const qint64 qtTime = timer.nsecsElapsed();

    const double device = bench::mibPerSecond(size, bestDevice);
    const double plain = bench::mibPerSecond(size, bestPlain);
    const double openssl = bench::mibPerSecond(size, bestOpenssl);
    const bool same = deviceDigest == opensslDigest && plainDigest == opensslDigest;
    std::printf("file                      %s (1 GiB, page cache), best of 3\n", qPrintable(path));
    std::printf("digests identical         %s\n", same ? "yes" : "NO");
    std::printf("sha256OfDevice (QFile)    %8.1f MiB/s  %.2fx openssl\n", device, device / openssl);
    std::printf("Sha256 over 1 MiB reads   %8.1f MiB/s  %.2fx openssl\n", plain, plain / openssl);
    std::printf("openssl dgst -sha256      %8.1f MiB/s  (process start included)\n", openssl);
    std::printf("QCryptographicHash        %8.1f MiB/s  (256 MiB, for scale)\n",
                bench::mibPerSecond(qtBytes, qtTime));
    std::printf("target >= 0.9x openssl:  %s\n", device / openssl >= 0.9 ? "met" : "NOT met");
    return same ? 0 : 1;
}
