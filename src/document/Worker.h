#pragma once
// The one worker thread: runs one job at a time, beside the thread that
// owns the document, with a stop request of its own. A front end that must
// stay responsive (the window) runs the document's requests here; the
// command line runs them on its own thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "document/Outcome.h"
#include "engine/StopToken.h"

namespace vantor {

class CWorker {
public:
    using CJob = std::function<COutcome(const CStopToken& stop)>;
    using CEnded = std::function<void(const COutcome& outcome)>;

    // `ended` hears each job's outcome on the worker thread, as its last
    // step, once a new job may start.
    explicit CWorker(CEnded ended = {}) : m_ended(std::move(ended)) {}
    // Asks a running job to stop and waits for its thread.
    ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Starts the job unless one runs; false then.
    bool Start(CJob job);
    bool Running() const;
    // Asks the running job to stop and returns at once. The next job starts
    // unstopped.
    void RequestStop();
    // Waits until no job runs, at most `limit`: true when none runs then.
    bool Wait(std::chrono::milliseconds limit);

private:
    CEnded m_ended;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_running = false;
    CStopSource m_stop;
    std::thread m_thread;
};

}  // namespace vantor
