#include "document/Worker.h"

namespace vantor {

CWorker::~CWorker() {
    RequestStop();
    // The job polls its stop token after every record and every file, and
    // no question waits once the front end has gone.
    if (m_thread.joinable()) m_thread.join();
}

bool CWorker::Start(CJob job) {
    std::unique_lock lock(m_mutex);
    if (m_running) return false;
    // The last job's thread has only its outcome left to hand on.
    if (m_thread.joinable()) {
        lock.unlock();
        m_thread.join();
        lock.lock();
    }
    m_stop = CStopSource();
    m_running = true;
    m_thread = std::thread([this, job = std::move(job), stop = m_stop.Token()] {
        COutcome outcome = job(stop);
        {
            std::lock_guard done(m_mutex);
            m_running = false;
        }
        m_idle.notify_all();
        if (m_ended) m_ended(outcome);
    });
    return true;
}

bool CWorker::Running() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

void CWorker::RequestStop() {
    std::lock_guard lock(m_mutex);
    if (m_running) m_stop.RequestStop();
}

bool CWorker::Wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, limit, [this] { return !m_running; });
}

}  // namespace vantor
