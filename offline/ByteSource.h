#pragma once

#include <cstddef>
#include <cstdint>

namespace aubrevane::offline
{

/** The bytes of one input, as the decoders read them: a file through its descriptor, bytes in memory, or a stream. */
class ByteSource
{
public:
    virtual ~ByteSource() = default;

    /** Reads up to `count` bytes, fewer only at the end of the data or on an error; -1 for an error before any. */
    virtual std::int64_t read(void* into, std::size_t count) = 0;
    /** Moves as lseek does (SEEK_SET, SEEK_CUR, SEEK_END); the new position, or -1 where the source cannot go. */
    virtual std::int64_t seek(std::int64_t offset, int whence) = 0;
    /** The number of bytes, or -1 when the source does not know it (a stream). */
    virtual std::int64_t length() = 0;
};

/** A file's bytes through its descriptor, which stays the caller's. */
class DescriptorSource : public ByteSource
{
public:
    explicit DescriptorSource(int descriptor) : descriptor(descriptor) {}

    std::int64_t read(void* into, std::size_t count) override;
    std::int64_t seek(std::int64_t offset, int whence) override;
    std::int64_t length() override;

protected:
    const int descriptor;
};

/** Bytes in memory, which the caller keeps for as long as the source reads them. */
class MemorySource : public ByteSource
{
public:
    /** No bytes when `data` is null. */
    MemorySource(const void* data, std::size_t size);

    std::int64_t read(void* into, std::size_t count) override;
    std::int64_t seek(std::int64_t offset, int whence) override;
    std::int64_t length() override { return size; }

private:
    const unsigned char* data = nullptr;
    std::int64_t size = 0, position = 0;
};

/** Reads from a descriptor until `count` bytes, the end or an error, as ByteSource::read counts; a signal that breaks
 *  off a read does not cut it short. */
std::int64_t readDescriptor(int descriptor, void* into, std::size_t count);

} // namespace aubrevane::offline
