// Feeds arbitrary bytes to the release-feed decoder, and the same bytes,
// split at their first NUL into two texts, to the version rule.
//
//   fuzz_update -max_total_time=600 -dict=update.dict CORPUS_DIR SEED_DIR
#include "update/UpdateChecker.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    if (const auto release = UpdateChecker::decodeRelease(bytes)) {
        // What the announcement and the download go on to do with it.
        static_cast<void>(UpdateChecker::downloadURL(release->url));
        static_cast<void>(UpdateChecker::isVersion(release->version, QStringLiteral("1.4")));
    }

    const qsizetype nul = bytes.indexOf('\0');
    const QString a = QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
    const QString b = nul < 0 ? QString() : QString::fromUtf8(bytes.mid(nul + 1));
    const bool aNewer = UpdateChecker::isVersion(a, b);
    const bool bNewer = UpdateChecker::isVersion(b, a);
    // The rule is a strict order: never both ways, never newer than itself.
    if ((aNewer && bNewer) || UpdateChecker::isVersion(a, a) || UpdateChecker::isVersion(b, b))
        std::abort();
    return 0;
}
