#pragma once
// Reading the chosen files, and the masters of the data folder, into the
// document's file list.
#include <string>

#include "document/Operation.h"

namespace vantor {

// The load order's masters that are not chosen, once: when the list holds
// found masters already it is left as it is. True when it holds any.
bool FindMasters(CFileList& files, const loadorder::CLoadOrder& loadOrder);

// A folder, FIFO, device or socket by the name of a file to read is refused
// by name (true then); a file that is missing is no news.
bool TellIfNotAFile(CUserLink& link, const std::string& path);

// Reads the found masters (when LoadEsms is set and they are not read yet),
// the pending master plugin of Single Versus and the pending plugins, with
// progress, and moves them to their read roles in the state's file list.
// Files a stop kept from being read stay as they were: chosen plugins stay
// chosen, and the masters are read by the next extraction. Each file that
// could not be read goes into `unread`.
CExtractionCount ExtractFiles(CDocState& state, const COperationContext& context, std::vector<CUnreadFile>& unread);

}  // namespace vantor
