#include "filehash.h"

#include <openssl/evp.h>

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

QByteArray sha256Hex(int fd)
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    std::vector<unsigned char> buffer(1 << 18);
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            break;
        at += n;
        if (EVP_DigestUpdate(context.get(), buffer.data(), size_t(n)) != 1)
            return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}
