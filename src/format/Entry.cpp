#include "format/Entry.h"

namespace vantor {

void CEntry::SetData(std::string bytes) {
    m_dataLength = bytes.size();
    m_dataOffset = 0;
    m_buffer = bytes.empty() ? nullptr : std::make_shared<const std::string>(std::move(bytes));
}

void CEntry::SetSharedData(std::shared_ptr<const std::string> buffer, std::size_t offset, std::size_t length) {
    if (length == 0) {
        ClearData();
        return;
    }
    m_buffer = std::move(buffer);
    m_dataOffset = offset;
    m_dataLength = length;
}

void CEntry::ClearData() {
    m_buffer.reset();
    m_dataOffset = 0;
    m_dataLength = 0;
}

void CEntry::OwnData() {
    if (!m_buffer || (m_dataOffset == 0 && m_dataLength == m_buffer->size())) return;
    SetData(std::string(Data()));
}

}  // namespace vantor
