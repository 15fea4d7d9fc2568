#include "format/Entry.h"

#include <cstdint>
#include <stdexcept>

namespace vantor {

void CEntry::SetData(std::string bytes) {
    if (bytes.empty()) {
        ClearData();
        return;
    }
    if (bytes.size() > UINT32_MAX) throw std::length_error("data longer than a record");
    auto owned = std::make_shared<const std::string>(std::move(bytes));
    m_data = owned->data();
    m_dataLength = std::uint32_t(owned->size());
    m_owner = std::move(owned);
    m_ownsData = true;
}

void CEntry::SetSharedData(std::shared_ptr<const void> owner, std::string_view data) {
    if (data.empty()) {
        ClearData();
        return;
    }
    if (data.size() > UINT32_MAX) throw std::length_error("data longer than a record");
    m_owner = std::move(owner);
    m_ownsData = false;
    m_data = data.data();
    m_dataLength = std::uint32_t(data.size());
}

void CEntry::ClearData() {
    m_owner.reset();
    m_ownsData = false;
    m_data = nullptr;
    m_dataLength = 0;
}

void CEntry::OwnData() {
    if (m_owner && !m_ownsData) SetData(std::string(Data()));
}

}  // namespace vantor
