#pragma once

#include "platform/OutputOrder.h"

// KDE Plasma 5.27 and newer: kde_output_order_v1 lists the outputs in the order the user
// gave them in the display settings, the primary one first.
class TKdeOutputOrder : public TOutputOrder {
public:
    std::vector<std::string> Names() override;
};
