// JSON text: whatever parses writes back as text that parses to an equal
// value.
#include "FuzzTarget.h"

#include <foundation/JSON.h>

QV_FUZZ_TARGET(json)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    JSONError error;
    auto value = parseJSON(text, &error);
    if (!value)
        return;
    for (bool pretty : { false, true }) {
        auto again = parseJSON(serializeJSON(*value, pretty));
        fuzzRequire(again.has_value(), "written JSON parses again");
        fuzzRequire(*again == *value, "written JSON reads back equal");
    }
}
