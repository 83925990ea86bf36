#include "core/types.h"

namespace vorn {

bool operator==(const ChunkingOptions& a, const ChunkingOptions& b)
{
    return a.algorithm == b.algorithm && a.wholeFileThreshold == b.wholeFileThreshold
        && a.minBytes == b.minBytes && a.averageBytes == b.averageBytes
        && a.maxBytes == b.maxBytes;
}

bool operator==(const LaunchProfile& a, const LaunchProfile& b)
{
    return a.id == b.id && a.title == b.title && a.executable == b.executable
        && a.arguments == b.arguments;
}

bool operator==(const ManifestChunk& a, const ManifestChunk& b)
{
    return a.offset == b.offset && a.size == b.size && a.sha256 == b.sha256
        && a.blobSha256 == b.blobSha256 && a.blobSize == b.blobSize;
}

bool operator==(const ManifestFile& a, const ManifestFile& b)
{
    return a.path == b.path && a.size == b.size && a.sha256 == b.sha256
        && a.preserve == b.preserve && a.executable == b.executable && a.chunks == b.chunks;
}

bool operator==(const Manifest& a, const Manifest& b)
{
    return a.schema == b.schema && a.releaseId == b.releaseId && a.createdUtc == b.createdUtc
        && a.gameRoot == b.gameRoot && a.chunking == b.chunking
        && a.compression == b.compression && a.launchProfiles == b.launchProfiles
        && a.preserve == b.preserve && a.files == b.files
        && a.channelSequence == b.channelSequence;
}

bool operator==(const ChunkRange& a, const ChunkRange& b)
{
    return a.offset == b.offset && a.size == b.size;
}

bool operator==(const LocalFileState& a, const LocalFileState& b)
{
    return a.size == b.size && a.modifiedMs == b.modifiedMs;
}

bool operator==(const ChunkSource& a, const ChunkSource& b)
{
    return a.offset == b.offset && a.size == b.size && a.sha256 == b.sha256
        && a.blobSha256 == b.blobSha256 && a.blobSize == b.blobSize
        && a.fromObject == b.fromObject && a.localOffset == b.localOffset
        && a.localPath == b.localPath;
}

bool operator==(const FilePlan& a, const FilePlan& b)
{
    return a.file == b.file && a.targetPath == b.targetPath && a.sources == b.sources;
}

bool operator==(const ObjectRef& a, const ObjectRef& b)
{
    return a.sha256 == b.sha256 && a.size == b.size;
}

bool operator==(const UpdatePlan& a, const UpdatePlan& b)
{
    return a.ok == b.ok && a.error == b.error && a.releaseId == b.releaseId
        && a.files == b.files && a.objects == b.objects && a.removals == b.removals
        && a.downloadBytes == b.downloadBytes && a.assembleBytes == b.assembleBytes;
}

void registerCoreMetaTypes()
{
    qRegisterMetaType<Manifest>("vorn::Manifest");
    qRegisterMetaType<UpdatePlan>("vorn::UpdatePlan");
}

} // namespace vorn
