#include "framework/AUTypes.h"
#include "plugin/ProductInterface.h"
#include "support/TestFolder.h"

#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace
{

using namespace iplug;
namespace fs = std::filesystem;

/** The names of the symbols the shared library defines in its dynamic symbol table. */
std::set<std::string> definedDynamicSymbols(const fs::path& library)
{
    std::ifstream in(library, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::set<std::string> names;
    if (bytes.size() < sizeof(Elf64_Ehdr) || bytes.compare(0, SELFMAG, ELFMAG) != 0 || bytes[EI_CLASS] != ELFCLASS64)
        return {"(not a 64-bit ELF file)"};
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    const auto section = [&](std::size_t index)
    {
        Elf64_Shdr s;
        std::memcpy(&s, bytes.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
        return s;
    };
    for (std::size_t i = 0; i < header.e_shnum; ++i)
    {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr strings = section(symbols.sh_link);
        for (std::size_t offset = 0; offset + sizeof(Elf64_Sym) <= symbols.sh_size; offset += sizeof(Elf64_Sym))
        {
            Elf64_Sym symbol;
            std::memcpy(&symbol, bytes.data() + symbols.sh_offset + offset, sizeof symbol);
            if (symbol.st_shndx != SHN_UNDEF)
                names.insert(bytes.data() + strings.sh_offset + symbol.st_name);
        }
    }
    return names;
}

bool isMapped(const fs::path& library)
{
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(library.string()) != std::string::npos)
            return true;
    return false;
}

/** One copy of the bundle, loaded on its own, with one instance made through its factory. */
struct LoadedCopy
{
    explicit LoadedCopy(const fs::path& file) : file(file)
    {
        library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return;
        using Factory = AudioComponentPlugInInterface* (*)(const AudioComponentDescription*);
        if (const auto factory = reinterpret_cast<Factory>(dlsym(library, "Aubrevane_Factory")))
            record = factory(nullptr);
        if (record != nullptr && record->Open(record, nullptr) != kAUNoErr)
            close();
    }
    ~LoadedCopy() { unload(); }

    template <typename Proc> Proc proc(EAUSelector selector) const
    {
        return reinterpret_cast<Proc>(record->Lookup(selector));
    }
    double param(int index) const
    {
        double value = 0.0;
        proc<AUGetParameterProc>(kAUGetParameterSelect)(record, index, &value);
        return value;
    }
    std::vector<unsigned char> state() const
    {
        std::vector<unsigned char> bytes;
        proc<AUGetStateProc>(kAUGetStateSelect)(
            record, &bytes,
            [](void* context, const unsigned char* data, int size)
            { static_cast<std::vector<unsigned char>*>(context)->assign(data, data + size); });
        return bytes;
    }
    /** Renders a second of a stereo square wave at 48 kHz; false when a call failed or a sample is not finite. */
    bool renders() const
    {
        std::vector<double> left(512), right(512);
        double* channels[] = {left.data(), right.data()};
        if (proc<AUInitializeProc>(kAUInitializeSelect)(record, 48000.0, 512, 2, 2) != kAUNoErr)
            return false;
        for (int block = 0; block < 94; ++block)
        {
            for (std::size_t n = 0; n < left.size(); ++n)
                left[n] = right[n] = (n / 64) % 2 == 0 ? 0.25 : -0.25;
            if (proc<AURenderProc>(kAURenderSelect)(record, channels, channels, 512) != kAUNoErr)
                return false;
            for (const double sample : left)
                if (!std::isfinite(sample))
                    return false;
        }
        return true;
    }
    bool opensEditor() const
    {
        const bool opened = proc<AUOpenEditorProc>(kAUOpenEditorSelect)(record, nullptr) == kAUNoErr;
        proc<AUIdleProc>(kAUIdleSelect)(record);
        proc<AUCloseEditorProc>(kAUCloseEditorSelect)(record);
        return opened;
    }
    void close()
    {
        if (record != nullptr)
            record->Close(record);
        record = nullptr;
    }
    void unload()
    {
        close();
        if (library != nullptr)
            dlclose(library);
        library = nullptr;
    }

    fs::path file;
    void* library = nullptr;
    AudioComponentPlugInInterface* record = nullptr;
};

TEST(Bundle, ExportsOnlyItsTwoEntryPoints)
{
    EXPECT_EQ(definedDynamicSymbols(AUBREVANE_BUNDLE), (std::set<std::string>{"Aubrevane_Entry", "Aubrevane_Factory"}));
}

TEST(Bundle, TwoCopiesKeepTheirOwnStateAndEachUnloads)
{
    const fs::path folder = aubrevane::test::testFolder();
    fs::copy_file(AUBREVANE_BUNDLE, folder / "first.so");
    fs::copy_file(AUBREVANE_BUNDLE, folder / "second.so");
    LoadedCopy first(folder / "first.so"), second(folder / "second.so");
    ASSERT_NE(first.record, nullptr) << dlerror();
    ASSERT_NE(second.record, nullptr);

    // Each instance hands out its own product interface, and nothing for an interface it does not have.
    const auto productOf = [](const LoadedCopy& copy, std::uint32_t id, void** object)
    { return copy.proc<AUGetInterfaceProc>(kAUGetInterfaceSelect)(copy.record, id, object); };
    const std::uint32_t productId = aubrevane::plugin::ProductInterface::kInterfaceId;
    void *firstProduct = nullptr, *secondProduct = nullptr, *unknown = &firstProduct;
    EXPECT_EQ(productOf(first, productId, &firstProduct), kAUNoErr);
    EXPECT_EQ(productOf(second, productId, &secondProduct), kAUNoErr);
    EXPECT_NE(firstProduct, nullptr);
    EXPECT_NE(firstProduct, secondProduct);
    EXPECT_EQ(productOf(first, productId + 1, &unknown), kAUErrInvalidParameter);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(productOf(first, productId, nullptr), kAUErrInvalidParameter);

    AUParameterInfo info;
    ASSERT_EQ(first.proc<AUGetParameterInfoProc>(kAUGetParameterInfoSelect)(first.record, 0, &info), kAUNoErr);
    const double changed = info.defaultValue == info.maxValue ? info.minValue : info.maxValue;
    first.proc<AUSetParameterProc>(kAUSetParameterSelect)(first.record, 0, changed);
    EXPECT_EQ(first.param(0), changed);
    EXPECT_EQ(second.param(0), info.defaultValue);
    EXPECT_NE(first.state(), second.state());

    // What the libraries both copies use keep from their editors holds neither copy.
    EXPECT_TRUE(first.opensEditor());
    EXPECT_TRUE(second.opensEditor());

    // The second copy runs on its own code and tables once the first is gone.
    first.unload();
    EXPECT_FALSE(isMapped(first.file));
    EXPECT_TRUE(second.renders());
    EXPECT_EQ(second.param(0), info.defaultValue);
    second.unload();
    EXPECT_FALSE(isMapped(second.file));

    LoadedCopy again(folder / "first.so");
    ASSERT_NE(again.record, nullptr);
    EXPECT_TRUE(again.opensEditor());
}

} // namespace
