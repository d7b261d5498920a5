#pragma once

#include <QString>

#include <exception>
#include <string>

// Every error the program meets travels as a Failure: a number, a description and the
// text of the component that raised it.
class Failure : public std::exception
{
public:
    Failure(long number, QString description, QString source);

    const char* what() const noexcept override { return mWhat.c_str(); }

    long number;
    QString description;
    QString source;

private:
    std::string mWhat;
};

// The failures the program's own conversions and object uses raise.
namespace failures {
inline constexpr long kOverflow = 6;
inline constexpr long kOutOfMemory = 7;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kInternalError = 51;
inline constexpr long kPathFileAccess = 75;
inline constexpr long kObjectNotSet = 91;

Failure overflow();
Failure typeMismatch();
Failure objectNotSet();
} // namespace failures
