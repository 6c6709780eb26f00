#include "app/heldpassword.h"

#include "screens/aputilcrpt.h"

namespace replica::app {

void HeldPassword::set(const std::string& plain) {
    m_encoded = APUtilCrpt::encode(plain);
}

std::string HeldPassword::decoded() const {
    return APUtilCrpt::decode(m_encoded);
}

}  // namespace replica::app
