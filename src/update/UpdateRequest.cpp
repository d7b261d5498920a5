#include "update/UpdateRequest.h"

#include "settings/CSettings.h"

UpdateRequest UpdateRequest::of(const CSettings& settings, Operation operation)
{
    UpdateRequest request;
    request.operation = operation;
    request.server = settings.Server();
    request.port = settings.Port();
    request.user = settings.Username();
    if (settings.passwordKnown())
        request.password = settings.Password();
    else
        request.keyringAccount = settings.keyringAccount();
    request.host = settings.hostName();
    if (!settings.CurrentIP())
        request.address = settings.OtherIP();
    request.addressFrom = settings.addressFrom();
    return request;
}
