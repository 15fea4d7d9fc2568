#include "format/Entry.h"

#include <cstdint>
#include <stdexcept>

#include "platform/Digest.h"

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
    m_dataPrint = PrintOf(*owned);
    m_owner = std::move(owned);
    m_ownsData = true;
}

std::uint32_t CEntry::PrintOf(std::string_view data) {
    return data.empty() ? 0 : std::uint32_t(platform::CDigest::Of(data));
}

void CEntry::SetSharedData(std::shared_ptr<const void> owner, std::string_view data, std::uint32_t print) {
    if (data.empty()) {
        ClearData();
        return;
    }
    if (data.size() > UINT32_MAX) throw std::length_error("data longer than a record");
    m_owner = std::move(owner);
    m_ownsData = false;
    m_data = data.data();
    m_dataLength = std::uint32_t(data.size());
    m_dataPrint = print;
}

void CEntry::ClearData() {
    m_owner.reset();
    m_ownsData = false;
    m_data = nullptr;
    m_dataLength = 0;
    m_dataPrint = 0;
}

void CEntry::OwnData() {
    if (m_owner && !m_ownsData) SetData(std::string(Data()));
}

}  // namespace vantor
