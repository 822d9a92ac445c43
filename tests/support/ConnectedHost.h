#pragma once

#include "serial/CommandExchange.h"

// A front end with no controls that is always connected: the exchange alone, as the logic
// tests drive it.
class ConnectedHost : public ExchangeHost {
public:
    void ComFalse() override {}
    void ComEnable() override {}
    bool connectedCaption() const override { return true; }
};
