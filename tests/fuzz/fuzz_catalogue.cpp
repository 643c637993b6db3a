// libFuzzer target: the catalogue parser.
#include "core/catalogue.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const ModListEntry fallback = defaultCatalogueRow(QStringLiteral("http://127.0.0.1:1"));
    const CatalogueLoad load = parseCatalogue(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), fallback);
    if (load.rows.isEmpty() || load.rows.size() > kMaxCatalogueRows)
        std::abort();
    if (load.usedDefault && !(load.rows.size() == 1 && load.rows.first() == fallback))
        std::abort();
    return 0;
}
