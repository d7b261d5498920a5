#pragma once

// Starts an update conversation on behalf of someone who is not the user: at once when no
// conversation runs, otherwise as soon as the running one has ended.
class UpdateStarter
{
public:
    virtual ~UpdateStarter() = default;
    virtual void requestUpdate() = 0;
};
