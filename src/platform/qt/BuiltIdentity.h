#pragma once

#include "app/Identity.h"

#include <QString>

// The identity the program was built with, for the windowing services that run it for real.
template <typename Windowing> class BuiltIdentity : public Windowing
{
public:
    QString title() const override { return identity::kTitle; }
    int versionMajor() const override { return identity::kMajor; }
    int versionMinor() const override { return identity::kMinor; }
    int versionRevision() const override { return identity::kRevision; }
    QString legalCopyright() const override { return identity::kLegalCopyright; }
};
