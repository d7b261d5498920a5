#pragma once

#include <QString>

// The dynamic-DNS provider and the maker, in one place. Every address lies under the
// reserved .example domain, so nothing real is ever contacted.
namespace provider {
inline const QString kDomain = QStringLiteral("dyn.brevant.example");
inline const QString kDomainSuffix = QStringLiteral(".dyn.brevant.example");
inline const QString kDefaultServer = QStringLiteral("update.brevant.example");
inline constexpr int kDefaultPort = 2345;
inline const QString kSubmenuCaption = QStringLiteral("&Brevant");
inline const QString kHomePage = QStringLiteral("https://www.brevant.example/");
inline const QString kControlPage =
    QStringLiteral("https://www.brevant.example/bin/controlpanel/dyndns/dyndns.pl");
inline const QString kMakerHomePage = QStringLiteral("https://www.vexlin.example/");
inline const QString kMakerMail = QStringLiteral("mailto:vexlin@vexlin.example");
} // namespace provider
