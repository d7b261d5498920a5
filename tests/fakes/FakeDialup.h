#pragma once

#include "platform/IDialup.h"

#include <QList>

// A scripted dial-up service: the result of the enumeration, the connections it lists and
// the answer to each status query.
class FakeDialup : public IDialup
{
public:
    struct Connection
    {
        std::uint32_t handle;
        std::uint32_t state;
        std::uint32_t statusResult = 0;
    };

    std::uint32_t enumConnections(RasConn* room, std::uint32_t& bytes, std::uint32_t& count) override;
    std::uint32_t getConnectStatus(std::uint32_t handle, RasConnStatus& status) override;

    std::uint32_t enumResult = 0;
    QList<Connection> connections;
    int enumCalls = 0;
    QList<std::uint32_t> statusHandles;    // the handle of every status query
    QList<std::uint32_t> statusSizeFields; // the status record's size field at every query
    std::uint32_t roomBytesSeen = 0;
    std::uint32_t roomRecordSizeSeen = 0;
    // Makes every status answer overwrite the whole record, size field included.
    bool scribbleOnStatus = false;
    // The service cannot be reached at all: the enumeration throws.
    bool unreachable = false;
    // Whether the first status query got a record that was zero apart from its size.
    bool firstStatusZeroFilled = false;
};
