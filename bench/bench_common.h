#pragma once

#include "core/manifest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace vorn::bench {

// Creates the folder too; for generated test data, not for anything that must survive a crash.
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline bool loadManifest(const QString& path, Manifest* manifest, QString* error = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return parseManifest(file.readAll(), manifest, error);
}

// Deterministic, incompressible content; fast enough that writing a GiB takes seconds.
inline quint64 nextRandom(quint64* state)
{
    quint64 z = (*state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Creates path with size random bytes unless it already has that size.
inline bool ensureRandomFile(const QString& path, qint64 size, quint64 seed)
{
    if (QFileInfo(path).size() == size)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::vector<quint64> block(1 << 17);
    quint64 state = seed;
    qint64 left = size;
    while (left > 0) {
        for (quint64& word : block)
            word = nextRandom(&state);
        const qint64 n = qMin<qint64>(left, qint64(block.size() * sizeof(quint64)));
        if (file.write(reinterpret_cast<const char*>(block.data()), n) != n)
            return false;
        left -= n;
    }
    return true;
}

// Reads the file once so that the measured runs find it in the page cache.
inline void warmPageCache(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::vector<char> buffer(1 << 20);
    while (file.read(buffer.data(), qint64(buffer.size())) > 0) {
    }
}

// The 1 GiB random file of the hashing and chunking benchmarks, in the folder given as the
// program's first argument (default /tmp/vorn-bench), read once into the page cache.
// Empty on failure, with the reason on stderr.
inline QString preparedGigabyteFile(int argc, char** argv)
{
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vorn-bench");
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("random-1GiB.bin"));
    if (!ensureRandomFile(path, qint64(1) << 30, 1)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
        return QString();
    }
    warmPageCache(path);
    return path;
}

inline double mibPerSecond(qint64 bytes, qint64 nanoseconds)
{
    return nanoseconds > 0 ? (double(bytes) / (1024.0 * 1024.0)) / (double(nanoseconds) / 1e9) : 0.0;
}

// Runs command through the shell and returns its wall time in nanoseconds, or -1.
inline qint64 timeCommand(const QString& command)
{
    QElapsedTimer timer;
    timer.start();
    const int rc = std::system(command.toLocal8Bit().constData());
    const qint64 elapsed = timer.nsecsElapsed();
    return rc == 0 ? elapsed : -1;
}

// CPU time consumed so far by all threads of this process.
inline qint64 processCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Text-like content: repetitive enough for zlib, not trivially so.
inline bool ensureCompressibleFile(const QString& path, qint64 size, quint64 seed = 42)
{
    if (QFileInfo(path).size() == size)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    quint64 state = seed;
    qint64 written = 0;
    while (written < size) {
        const QByteArray line = QByteArray("entity ") + QByteArray::number(qulonglong(nextRandom(&state) % 100000))
            + " position " + QByteArray::number(qulonglong(nextRandom(&state) % 4096)) + ","
            + QByteArray::number(qulonglong(nextRandom(&state) % 4096)) + " state idle\n";
        const qint64 n = qMin<qint64>(line.size(), size - written);
        if (file.write(line.constData(), n) != n)
            return false;
        written += n;
    }
    return true;
}

} // namespace vorn::bench
