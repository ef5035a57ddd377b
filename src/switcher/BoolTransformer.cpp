#include "BoolTransformer.h"

#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>

void BoolTransformer::registerTransformer()
{
    NSValueTransformer::setValueTransformer(makeRef<BoolTransformer>(), kName);
}

Value BoolTransformer::transformedValue(const Value& value) const
{
    bool hasText = value.isString() && !value.stringValue().empty();
    return Value(!(NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::KeyboardShotcuts) && hasText));
}
