#include "dialogrepair/RelinkDialog.h"

#include "platform/Files.h"

namespace vantor {

CRelinkResult RelinkDialog(const CRelinkInputs& in) {
    CRelinkResult result;
    CDialogMerge merge(*in.m_link);
    std::string espFilename = in.m_espFilename;
    std::string espPath = in.m_espPath;

    const bool automatic =
        in.m_autoRelink == 1 && !in.m_espFilename.empty() && (!in.m_pendingNames.empty() || !in.m_loadedNames.empty());
    if (automatic) {
        for (std::size_t i = 0; i < in.m_pendingNames.size(); ++i) merge.AddPlugin(in.m_pendingNames[i], in.m_pendingFolders[i]);
        for (std::size_t i = 0; i < in.m_loadedNames.size(); ++i) merge.AddPlugin(in.m_loadedNames[i], in.m_loadedFolders[i]);
        if (in.m_checkMode == 1) {
            if (!in.m_pendingMasterName.empty())
                merge.AddPlugin(in.m_pendingMasterName, in.m_pendingMasterFolder);
            else if (!in.m_loadedMasterName.empty())
                merge.AddPlugin(in.m_loadedMasterName, in.m_loadedMasterFolder);
        }
    } else {
        auto chosen = in.m_link->RunDialogRepairTool(
            CRepairDialogSeed{in.m_espFilename, in.m_espPath, in.m_dataDir, in.m_installDir});
        if (!chosen) return result;
        espFilename = chosen->m_repairName;
        espPath = chosen->m_repairFolder;
        result.m_espFilename = espFilename;
        result.m_espPath = espPath;
        for (std::size_t i = 0; i < chosen->m_pluginNames.size() && i < chosen->m_pluginFolders.size(); ++i)
            merge.AddPlugin(chosen->m_pluginNames[i], chosen->m_pluginFolders[i]);
    }

    std::vector<std::string> masterNames, masterFolders;
    if (in.m_findMasters) in.m_findMasters(masterNames, masterFolders);
    for (std::size_t i = 0; i < masterNames.size() && i < masterFolders.size(); ++i)
        merge.AddMaster(masterNames[i], masterFolders[i]);

    merge.SetOutputPath((espPath.empty() ? std::string() : platform::WithSeparator(espPath)) + espFilename);
    static const std::atomic<std::int32_t> kNeverStop{0};
    result.m_ran = true;
    result.m_runResult = merge.Run(in.m_stop ? *in.m_stop : kNeverStop);
    result.m_outcome = merge.Outcome();
    return result;
}

}  // namespace vantor
