// Raw partition engine: enumerates physical disks and their partitions, scans an
// NTFS or FAT32 partition that the system cannot mount, and extracts the files found.
#pragma once

#include <stdint.h>

#include "tobrin/platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Receives the partition list text once, during initialisation; the result is ignored.
typedef void(TOBRIN_CALL* RawPartitionListCallback)(const char* list);
// Receives one file report line; return 0 to stop the scan.
typedef int(TOBRIN_CALL* RawFileReportCallback)(const char* line);
// Called with 0 after every cluster written; return 0 to stop the copy.
typedef int(TOBRIN_CALL* RawProgressCallback)(int);

// Plain family: one context, one engine per file-system kind.
TOBRIN_EXPORT void* TOBRIN_CALL InitRawRecovery(RawPartitionListCallback callback);
TOBRIN_EXPORT int TOBRIN_CALL ReleaseRawRecovery(void* context);
TOBRIN_EXPORT int TOBRIN_CALL PrepareRawRecovery(void* context, uint32_t partition_index);
TOBRIN_EXPORT int TOBRIN_CALL ScanRawPartition(void* context, uint32_t partition_index,
                                               RawFileReportCallback callback);
TOBRIN_EXPORT int TOBRIN_CALL RecoverRawFile(void* context, uint32_t partition_index,
                                             uint32_t file_index, const char* target_path,
                                             RawProgressCallback progress);
TOBRIN_EXPORT void* TOBRIN_CALL GetRawFileCluster(void* context, uint32_t partition_index,
                                                  uint32_t file_index, uint32_t cluster_count,
                                                  int whole_file, uint64_t* size_out);
TOBRIN_EXPORT int TOBRIN_CALL ReleaseRawFileBuffer(void* buffer);

// Ex family: one engine per prepared partition. Index lists are decimal numbers of at
// most three digits joined by "|".
TOBRIN_EXPORT void* TOBRIN_CALL InitRawRecoveryEx(RawPartitionListCallback callback);
TOBRIN_EXPORT int TOBRIN_CALL ReleaseRawRecoveryEx(void* manager);
TOBRIN_EXPORT int TOBRIN_CALL PrepareRawRecoveryEx(void* manager, const char* index_list);
// Mode bit 0: scan every prepared partition; otherwise those of `index_list`.
TOBRIN_EXPORT int TOBRIN_CALL ScanRawPartitionEx(void* manager, RawFileReportCallback callback,
                                                 uint32_t mode, const char* index_list);
TOBRIN_EXPORT int TOBRIN_CALL RecoverRawFileEx(void* manager, uint32_t partition_index,
                                               uint32_t file_index, const char* target_path,
                                               RawProgressCallback progress);
TOBRIN_EXPORT void* TOBRIN_CALL GetRawFileClusterEx(void* manager, uint32_t partition_index,
                                                    uint32_t file_index, uint32_t cluster_count,
                                                    int whole_file, uint64_t* size_out);

#ifdef __cplusplus
}
#endif
