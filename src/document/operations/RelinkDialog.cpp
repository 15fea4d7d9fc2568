#include "document/operations/RelinkDialog.h"

#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor {

CRelinkResult RelinkDialog(const CRelinkInputs& in) {
    CRelinkResult result;
    CDialogMerge merge(*in.m_link, in.m_ages);
    std::string espFilename = in.m_espFilename;
    std::string espPath = in.m_espPath;
    bool replaceAgreed = false;
    std::vector<std::string> reads;  // every file the merge reads
    auto addPlugin = [&](const std::string& name, const std::string& folder) {
        merge.AddPlugin(name, folder);
        reads.push_back(platform::WithSeparator(folder) + name);
    };

    const bool automatic =
        in.m_automatic && !in.m_espFilename.empty() && (!in.m_pendingNames.empty() || !in.m_loadedNames.empty());
    if (automatic) {
        for (std::size_t i = 0; i < in.m_pendingNames.size(); ++i) addPlugin(in.m_pendingNames[i], in.m_pendingFolders[i]);
        for (std::size_t i = 0; i < in.m_loadedNames.size(); ++i) addPlugin(in.m_loadedNames[i], in.m_loadedFolders[i]);
        if (in.m_singleVersus) {
            if (!in.m_pendingMasterName.empty())
                addPlugin(in.m_pendingMasterName, in.m_pendingMasterFolder);
            else if (!in.m_loadedMasterName.empty())
                addPlugin(in.m_loadedMasterName, in.m_loadedMasterFolder);
        }
    } else {
        auto chosen = in.m_link->ChooseRepair(
            CRepairDialogSeed{in.m_espFilename, in.m_espPath, in.m_dataDir, in.m_loadOrder, in.m_filesInUse});
        if (!chosen) return result;
        espFilename = chosen->m_repairName;
        espPath = chosen->m_repairFolder;
        result.m_espFilename = espFilename;
        result.m_espPath = espPath;
        replaceAgreed = chosen->m_replaceAgreed;
        for (std::size_t i = 0; i < chosen->m_pluginNames.size() && i < chosen->m_pluginFolders.size(); ++i)
            addPlugin(chosen->m_pluginNames[i], chosen->m_pluginFolders[i]);
        // Before any question: a repair plugin of nothing would only replace
        // the one there.
        if (reads.empty()) {
            in.m_link->Tell(CNoPluginsToRepairNotice{});
            result.m_ran = true;
            result.m_noPlugins = true;
            result.m_outcome = CDialogMerge::EOutcome::Refused;
            return result;
        }
    }

    std::vector<std::string> masterNames, masterFolders;
    if (in.m_findMasters) in.m_findMasters(masterNames, masterFolders);
    for (std::size_t i = 0; i < masterNames.size() && i < masterFolders.size(); ++i) {
        merge.AddMaster(masterNames[i], masterFolders[i]);
        reads.push_back(platform::WithSeparator(masterFolders[i]) + masterNames[i]);
    }

    std::string output = (espPath.empty() ? std::string() : platform::WithSeparator(espPath)) + espFilename;
    result.m_ran = true;
    // An unnamed repair plugin is the merge's own refusal to tell.
    if (in.m_prepareOutput && !espFilename.empty()) {
        auto checked = in.m_prepareOutput(output, replaceAgreed, reads);
        if (!checked) {
            result.m_outcome = CDialogMerge::EOutcome::Refused;
            return result;
        }
        output = *checked;
    }
    merge.SetOutputPath(output);
    // Working files a killed run left beside the repair plugin go first.
    const std::string folder = platform::FolderOf(platform::ResolveLinks(output));
    platform::RemoveStaleWorkFiles(folder.empty() ? "./" : folder);
    static const std::atomic<std::int32_t> kNeverStop{0};
    result.m_runResult = merge.Run(in.m_stop ? *in.m_stop : kNeverStop);
    result.m_outcome = merge.Outcome();
    result.m_output = output;
    if (result.m_outcome == CDialogMerge::EOutcome::Written) {
        result.m_topics = merge.Topics().size();
        for (const CDialogMerge::CTopic& topic : merge.Topics()) result.m_responses += topic.m_chain.size();
    }
    return result;
}

}  // namespace vantor
