#include "BoolTransformer.h"

#include <foundation/NSUserDefaults.h>

void BoolTransformer::registerTransformer()
{
    NSValueTransformer::setValueTransformer(makeRef<BoolTransformer>(), "BoolTransformer");
}

Value BoolTransformer::transformedValue(const Value& value) const
{
    bool hasText = value.isString() && !value.stringValue().empty();
    return Value(!(NSUserDefaults::standardUserDefaults()->boolForKey("KeyboardShotcuts") && hasText));
}
