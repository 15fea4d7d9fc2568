#pragma once
// The operations a request runs. The document makes one from the request
// and a copy of its state, on the thread that owns the document; the
// operation then runs on any thread and never reads a document field that
// a command writes.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "checks/FileAges.h"
#include "document/FileList.h"
#include "document/FrameLink.h"
#include "document/Options.h"
#include "document/Outcome.h"
#include "engine/StopToken.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

class CVANTORDoc;

enum class ECheckMode : std::int32_t { Full = 0, SingleVersus = 1 };

// The document's state an operation works on, copied when it was made.
struct CDocState {
    ECheckMode m_checkMode = ECheckMode::Full;
    COptionSet m_options;
    CFileList m_files;
    bool m_mastersLoaded = false;
    std::string m_dataDir;
    // Where the game's files are and which is newer; never null in a
    // document's state.
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
};

// What a running operation is offered: the front end, the stop request, the
// document's result lists, and the ages of the files.
class COperationContext {
public:
    COperationContext(CVANTORDoc& doc, CFrameLink& link, CStopToken stop, std::uint64_t generation,
                      std::shared_ptr<const loadorder::CLoadOrder> loadOrder);
    CFrameLink& Link() const { return m_link; }
    const CStopToken& Stop() const { return m_stop; }
    bool Stopped() const { return m_stop.Stopped(); }
    // A progress report, silent once a stop was requested.
    void Progress(const std::string& text, int total) const;
    // Keeps a list's new table and hands it to the front end; its row count
    // goes into `outcome` when one is given. Nothing when the document's
    // files were forgotten (New Check) since the operation was made.
    void Publish(EPane pane, CResultTable table, EShow show, COutcome* outcome = nullptr) const;
    // The repair plugin the "Dialog Repair Tool" window named, remembered in
    // the option set.
    void RememberRepairPlugin(const std::string& name, const std::string& folder) const;
    // Which file is newer, asked once per file for the whole operation.
    CFileAges& Ages() const { return *m_ages; }

private:
    CVANTORDoc& m_doc;
    CFrameLink& m_link;
    CStopToken m_stop;
    std::uint64_t m_generation;
    std::unique_ptr<CFileAges> m_ages;
};

class COperation {
public:
    COperation(CRequest request, CDocState state, EActivity activity, bool readFirst)
        : m_request(std::move(request)), m_state(std::move(state)), m_activity(activity), m_readFirst(readFirst) {}
    virtual ~COperation() = default;
    COperation(const COperation&) = delete;
    COperation& operator=(const COperation&) = delete;

    const CRequest& Request() const { return m_request; }
    // The state the request saw; reading the chosen files brings its file
    // list up to date before Run.
    CDocState& State() { return m_state; }
    EActivity Activity() const { return m_activity; }
    // Whether the chosen files (and the masters) are read first.
    bool ReadsFirst() const { return m_readFirst; }
    virtual void Run(COperationContext& context, COutcome& outcome) = 0;

    // The document is busy as long as this lives.
    std::shared_ptr<void> m_claim;

private:
    CRequest m_request;
    CDocState m_state;
    EActivity m_activity;
    bool m_readFirst;
};

// The operation of a request, made from the document's state by
// CVANTORDoc::Prepare once the request may run.
std::unique_ptr<COperation> MakeOperation(const CRequest& request, CDocState state, bool readFirst);

}  // namespace vantor
