#include "families/settings.h"

namespace replica::families {

void declareSettings(Catalogue& catalogue) {
    for (const RunSetting* s :
         {&kPurchaseInvoiceMode, &kSalesInvoiceMode, &kTransferAsEntry, &kLockDate}) {
        catalogue.declare(*s);
    }
}

bool purchaseInvoiceMode(const RunOptions& options) {
    return options.setting(kPurchaseInvoiceMode.name) == "FACTURA";
}

bool salesInvoiceMode(const RunOptions& options) {
    return options.setting(kSalesInvoiceMode.name) == "FACTURA";
}

bool transferAsEntryMode(const RunOptions& options) {
    return options.setting(kTransferAsEntry.name) == "SI";
}

const std::string& lockDateText(const RunOptions& options) {
    return options.setting(kLockDate.name);
}

}  // namespace replica::families
