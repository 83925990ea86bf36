#pragma once

#include <QByteArray>

namespace vorn {

struct Sha256Context;

// Every SHA-256 of the update core goes through here: the system's digest (CNG on Windows,
// OpenSSL's EVP elsewhere) is an order of magnitude faster than QCryptographicHash and gives
// the same digests.
class Sha256 final
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void reset();
    void addData(const char* data, qint64 length);
    void addData(const QByteArray& data) { addData(data.constData(), data.size()); }

    // The 32-byte digest of everything added since the last reset, or an empty array if the
    // library failed. Further addData calls are ignored until reset().
    [[nodiscard]] QByteArray result();

    [[nodiscard]] static QByteArray hash(const char* data, qint64 length);
    [[nodiscard]] static QByteArray hash(const QByteArray& data)
    {
        return hash(data.constData(), data.size());
    }

private:
    Sha256Context* m_context = nullptr;
    bool m_ok = false;
    bool m_finished = false;
    QByteArray m_result;
};

} // namespace vorn
