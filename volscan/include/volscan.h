// Volume scan engine: finds the deleted files of a mounted NTFS, FAT32 or FAT16
// volume, reports them as found-file lines and copies their data back.
#pragma once

#include <stdint.h>

#include "tobrin/platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Opaque handles owned by the engine.
typedef struct VolscanContext VolscanContext;
typedef struct VolscanSet VolscanSet;

// Receives one NUL-terminated found-file line, valid during the call; 0 stops the scan.
typedef int32_t(TOBRIN_CALL* VolscanLineCallback)(const char* line);
// Copy progress, called with 0; 0 stops the copy.
typedef int32_t(TOBRIN_CALL* VolscanClusterCallback)(int32_t zero);

// A found-file line is name|folder|size|time|index|integrality, folder "NULL" when the
// folder chain is lost; the integrality is "?%" when the volume bitmap cannot be read.
// A context is scanned once: a second ScanVolume returns 0 and leaves its entries as
// they are.
TOBRIN_EXPORT VolscanContext* TOBRIN_CALL InitVolumeInfo(const char* drive);
TOBRIN_EXPORT int32_t TOBRIN_CALL ReleaseVolumeInfo(VolscanContext* context);
TOBRIN_EXPORT int32_t TOBRIN_CALL ScanVolume(VolscanContext* context, VolscanLineCallback callback);
TOBRIN_EXPORT int32_t TOBRIN_CALL RecoverFile(VolscanContext* context, uint32_t index,
                                              const char* target, VolscanClusterCallback callback);
TOBRIN_EXPORT void* TOBRIN_CALL GetFileClusters(VolscanContext* context, uint32_t index,
                                                int32_t max_clusters, int32_t whole_file,
                                                uint64_t* byte_count);
TOBRIN_EXPORT int32_t TOBRIN_CALL ReleaseFileBuffer(void* buffer);
TOBRIN_EXPORT int32_t TOBRIN_CALL QueryFileCoverageRate(VolscanContext* context, uint32_t index);

TOBRIN_EXPORT VolscanSet* TOBRIN_CALL InitVolumeInfoEx(const char* drives);
TOBRIN_EXPORT int32_t TOBRIN_CALL ReleaseVolumeInfoEx(VolscanSet* set);
TOBRIN_EXPORT int32_t TOBRIN_CALL ScanVolumeEx(VolscanSet* set, VolscanLineCallback callback,
                                               uint32_t flags, const char* filter);
TOBRIN_EXPORT VolscanContext* TOBRIN_CALL FindTargetVolume(VolscanSet* set, const char* drive);
TOBRIN_EXPORT int32_t TOBRIN_CALL RecoverFileEx(VolscanSet* set, const char* drive, uint32_t index,
                                                const char* target,
                                                VolscanClusterCallback callback);
TOBRIN_EXPORT void* TOBRIN_CALL GetFileClustersEx(VolscanSet* set, const char* drive,
                                                  uint32_t index, int32_t max_clusters,
                                                  int32_t whole_file, uint64_t* byte_count);

#ifdef __cplusplus
}
#endif
