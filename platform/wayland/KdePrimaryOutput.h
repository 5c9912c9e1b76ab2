#pragma once

#include "platform/OutputOrder.h"

// KDE Plasma 5.24 to 5.26: kde_primary_output_v1 names the primary output alone (5.27
// replaced it by kde_output_order_v1). The others then follow the layout.
class TKdePrimaryOutput : public TOutputOrder {
public:
    std::vector<std::string> Names() override;
};
