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

// The numbers of the failures the program and its platform services raise; the test doubles
// raise the same.
namespace failures {
inline constexpr long kOverflow = 6;
inline constexpr long kOutOfMemory = 7;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kInternalError = 51;
inline constexpr long kPathFileAccess = 75;
inline constexpr long kObjectNotSet = 91;
inline constexpr long kDllFunctionNotFound = 453;  // the dial-up service cannot be reached
inline constexpr long kSocketNotConnected = 40006; // wrong connection state for the request
inline constexpr long kSocketNotClosed = 40020;    // the socket still has a connection
inline constexpr long kSocketInvalidPort = 380;    // an invalid property value
inline constexpr long kKeyring = 40100;            // the keyring cannot be reached, stays locked or refuses
inline constexpr long kKeyringNoEntry = 40101;     // the keyring answered that it holds none for the account

Failure overflow();
Failure typeMismatch();
Failure objectNotSet();
// The system's words for an error number; a file or folder that cannot be used, and why.
QString systemError(int error);
Failure fileAccess(const QString& why);
Failure fileAccess(int error);
} // namespace failures
