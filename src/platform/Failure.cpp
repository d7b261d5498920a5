#include "platform/Failure.h"

#include "app/Identity.h"

#include <cstring>

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

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Failure fileAccess(const QString& why)
{
    return Failure(kPathFileAccess, why, identity::kErrorSource);
}

Failure fileAccess(int error)
{
    return fileAccess(systemError(error));
}

} // namespace failures
