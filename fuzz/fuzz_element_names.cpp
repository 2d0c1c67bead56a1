// Element-name escaping: any name (a field name, a parameter name) is stored as a valid XML name
// and read back exactly, so its column settings or stored value apply again.
#include "FuzzSupport.h"
#include "U_DataExport.h"
#include "U_XML_util.h"

#include <libxml/tree.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString name = Utf16Text(data, size);
    const QString stored = EncodeElementName(name);
    FUZZ_CHECK(DecodeElementName(stored) == name);
    if (!name.isEmpty()) {
        const QByteArray utf8 = stored.toUtf8();
        FUZZ_CHECK(!stored.contains(u':'));
        FUZZ_CHECK(xmlValidateName(reinterpret_cast<const xmlChar *>(utf8.constData()), 0) == 0);
    }
    (void)TOrvel_DataExport_XML::ExportElementName(name);
    return 0;
}
