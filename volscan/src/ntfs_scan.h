// NTFS: preparing a context and scanning the MFT for deleted files.
#pragma once

#include "context.h"
#include "outcome.h"
#include "volscan.h"

namespace volscan {

// Decodes the geometry and reads MFT record 0.
Expected<NtfsVolume> init_ntfs(const tobrin::platform::DeviceHandle& device);

// Collects deleted files and folders from the MFT, rebuilds the paths and reports each
// file. False when the MFT's own run list cannot be decoded.
bool scan_ntfs(VolscanContext& context, VolscanLineCallback callback);

// The folder path of `entry` ("C:\Docs\"), or empty when its folder chain does not reach
// the root. A parent reference holds only while its sequence number matches the folder
// record's, so a reused folder record does not adopt the files of the one it replaced.
std::u16string folder_path(const NtfsVolume& volume, const NtfsEntry& entry,
                           std::u16string_view root);

}  // namespace volscan
