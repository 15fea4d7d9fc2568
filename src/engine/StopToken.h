#pragma once
// Asking a running operation to stop. The source belongs to whoever runs the
// operation; the operation and the procedures it calls hold tokens and poll
// them after every record and every file (a relaxed load of one flag).
#include <atomic>
#include <cstdint>
#include <memory>

namespace vantor {

class CStopToken {
public:
    // A token that never stops.
    CStopToken() : m_flag(Never()) {}
    bool Stopped() const { return m_flag->load(std::memory_order_relaxed) != 0; }
    // The flag itself, for the procedures that poll it in their loops.
    const std::atomic<std::int32_t>& Flag() const { return *m_flag; }

private:
    friend class CStopSource;
    explicit CStopToken(std::shared_ptr<const std::atomic<std::int32_t>> flag) : m_flag(std::move(flag)) {}
    static const std::shared_ptr<const std::atomic<std::int32_t>>& Never() {
        static const auto kNever = std::make_shared<const std::atomic<std::int32_t>>(0);
        return kNever;
    }
    std::shared_ptr<const std::atomic<std::int32_t>> m_flag;
};

class CStopSource {
public:
    void RequestStop() { m_flag->store(1); }
    bool StopRequested() const { return m_flag->load() != 0; }
    CStopToken Token() const { return CStopToken(m_flag); }

private:
    std::shared_ptr<std::atomic<std::int32_t>> m_flag = std::make_shared<std::atomic<std::int32_t>>(0);
};

}  // namespace vantor
