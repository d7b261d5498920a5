#include "platform/qt/UpnpQuery.h"

#include "platform/router/Gena.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <vector>

namespace upnpQuery {

namespace {

bool atGateway(const char* url, const QHostAddress& gateway)
{
    return url && QHostAddress(QUrl::fromEncoded(QByteArray(url)).host()) == gateway;
}

// The discovered devices at the gateway's address, chained on their own for the library to
// choose among; the whole list's chain is put back for freeing.
class DevicesAt
{
public:
    DevicesAt(UPNPDev* all, const QHostAddress& gateway) : mAll(all)
    {
        for (UPNPDev* device = all; device; device = device->pNext) {
            mChain.push_back(device->pNext);
            if (atGateway(device->descURL, gateway))
                mMatching.push_back(device);
        }
        for (size_t i = 0; i < mMatching.size(); ++i)
            mMatching[i]->pNext = i + 1 < mMatching.size() ? mMatching[i + 1] : nullptr;
    }
    ~DevicesAt()
    {
        size_t i = 0;
        for (UPNPDev* device = mAll; device; device = device->pNext)
            device->pNext = mChain.at(i++);
        freeUPNPDevlist(mAll);
    }
    DevicesAt(const DevicesAt&) = delete;
    DevicesAt& operator=(const DevicesAt&) = delete;

    UPNPDev* first() const { return mMatching.empty() ? nullptr : mMatching.front(); }

private:
    UPNPDev* mAll;
    std::vector<UPNPDev*> mChain;
    std::vector<UPNPDev*> mMatching;
};

// Asks the device at the answer's control URL for its outside address: false when it did not
// answer at all.
bool askAddress(Answer& answer)
{
    char address[64] = {};
    const int result =
        UPNP_GetExternalIPAddress(answer.controlUrl.constData(), answer.serviceType.constData(), address);
    if (result != UPNPCOMMAND_SUCCESS) {
        answer.why =
            QStringLiteral("the router's UPnP answered: %1")
                .arg(QString::fromUtf8(strupnperror(result) ? strupnperror(result) : "an unknown error"));
        return result != UPNPCOMMAND_HTTP_ERROR && result != UPNPCOMMAND_UNKNOWN_ERROR;
    }
    answer.address = QString::fromUtf8(address).trimmed();
    if (answer.address.isEmpty())
        answer.why = QStringLiteral("the router's UPnP named no outside address");
    return true;
}

} // namespace

Answer ask(const QHostAddress& gateway, const QHostAddress& local, int discoveryMs)
{
    Answer answer;
    int error = 0;
    const QByteArray interface = local.toString().toLatin1();
    // Every kind is searched for at once, and answers are waited for once: one kind after the
    // other, a network without UPnP would cost the whole wait for each kind.
    static const char* const kKinds[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                         "urn:schemas-upnp-org:service:WANIPConnection:1",
                                         "urn:schemas-upnp-org:service:WANPPPConnection:1", "upnp:rootdevice",
                                         nullptr};
    // No minissdpd: its cache holds what the machine heard on any network, and an empty path
    // keeps the library from asking it.
    UPNPDev* all =
        upnpDiscoverDevices(kKinds, discoveryMs, interface.isEmpty() ? nullptr : interface.constData(), "",
                            UPNP_LOCAL_PORT_ANY, 0, 2, &error, 1);
    if (!all) {
        answer.why = QStringLiteral("no UPnP device answered");
        return answer;
    }
    // The chain is rebuilt before the list is freed, whatever happens below.
    const DevicesAt devices(all, gateway);
    if (!devices.first()) {
        answer.why = QStringLiteral("no UPnP device at the router's address answered");
        return answer;
    }

    // The library zeroes what it frees, so freeing an untouched or a freed set does no harm.
    struct Urls : UPNPUrls
    {
        Urls() : UPNPUrls{} {}
        ~Urls() { FreeUPNPUrls(this); }
        Urls(const Urls&) = delete;
        Urls& operator=(const Urls&) = delete;
    } urls;
    IGDdatas data = {};
    char lanAddress[64] = {};
    const int valid = UPNP_GetValidIGD(devices.first(), &urls, &data, lanAddress, sizeof lanAddress);
    // 1: connected, 2: not connected (it still knows its outside address, or says why not).
    if ((valid != 1 && valid != 2) || !atGateway(urls.controlURL, gateway)) {
        answer.why = QStringLiteral("no UPnP Internet gateway device at the router's address");
        return answer;
    }
    answer.found = true;
    answer.eventUrl = gena::eventUrl(QByteArray(data.urlbase), QByteArray(urls.rootdescURL),
                                     QByteArray(data.first.eventsuburl));
    if (!atGateway(answer.eventUrl.toEncoded().constData(), gateway))
        answer.eventUrl.clear();

    answer.controlUrl = urls.controlURL;
    answer.serviceType = data.first.servicetype;
    askAddress(answer);
    return answer;
}

Answer askAgain(const QByteArray& controlUrl, const QByteArray& serviceType)
{
    Answer answer;
    answer.controlUrl = controlUrl;
    answer.serviceType = serviceType;
    answer.found = askAddress(answer);
    return answer;
}

} // namespace upnpQuery
