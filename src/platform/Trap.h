#pragma once

#include "platform/Failure.h"
#include "platform/IWindowing.h"

#include <QString>

#include <new>
#include <utility>

// The text of the common error report for a failure reported by the named procedure.
QString errorReportText(const Failure& failure, const QString& procedure);

// Shows the common error report; never throws.
void reportFailure(IWindowing& windowing, const Failure& failure, const QString& procedure) noexcept;

// Runs a handler body, and reports any failure under the procedure's name. Returns true when
// the body ran to its end. Nothing escapes: handlers run from Qt slots.
template <typename Body> bool trap(IWindowing& windowing, const char* procedure, Body&& body) noexcept
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const Failure& failure) {
        reportFailure(windowing, failure, QString::fromLatin1(procedure));
    } catch (const std::bad_alloc&) {
        reportFailure(windowing, Failure(failures::kOutOfMemory, QStringLiteral("Out of memory"), QString()),
                      QString::fromLatin1(procedure));
    } catch (const std::exception& e) {
        reportFailure(windowing,
                      Failure(failures::kInternalError, QString::fromLocal8Bit(e.what()), QString()),
                      QString::fromLatin1(procedure));
    } catch (...) {
        // Whatever else was thrown cannot be described; it must not leave a Qt slot either.
        reportFailure(windowing,
                      Failure(failures::kInternalError, QStringLiteral("Internal error"), QString()),
                      QString::fromLatin1(procedure));
    }
    return false;
}
