#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Where "Current IP" comes from: the AddressFrom setting.
struct AddressFrom
{
    enum class Source {
        Auto,       // the connection's address unless it is private; then the router's, or the lookup's
        Connection, // the local address of the connection to the server
        Router,     // the router's outside address only
        Lookup,     // as Auto, with the lookup service at the URL as the third source
    };
    Source source = Source::Auto;
    QUrl lookup; // the lookup service, with Lookup

    // The setting's text read: "auto", "connection", "router" or an http:// or https:// URL;
    // none for anything else. An empty text is auto: the setting is absent.
    static std::optional<AddressFrom> read(const QString& text);
    // The setting's text.
    QString text() const;
    // The text as it may be printed: a password in the lookup's URL is left out, since what is
    // printed ends up in logs and the journal.
    QString shown() const;

    bool operator==(const AddressFrom&) const = default;
};
