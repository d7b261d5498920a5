#include "platform/Failure.h"

#include "app/Identity.h"

Failure::Failure(long number_, QString description_, QString source_)
    : number(number_), description(std::move(description_)), source(std::move(source_)),
      mWhat(description.toStdString())
{
}

namespace failures {

Failure overflow()
{
    return Failure(kOverflow, QStringLiteral("Overflow"), identity::kErrorSource);
}

Failure typeMismatch()
{
    return Failure(kTypeMismatch, QStringLiteral("Type mismatch"), identity::kErrorSource);
}

Failure objectNotSet()
{
    return Failure(kObjectNotSet, QStringLiteral("Object variable or With block variable not set"),
                   identity::kErrorSource);
}

} // namespace failures
