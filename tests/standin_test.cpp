// The stand-in ACM keeps the part of the ACM's contract that the program
// relies on. The process tests and the README's sample run on it, so a
// stand-in that wrote past a format buffer, ignored a callback's FALSE or
// accepted a closed handle would hide the program's faults instead of showing
// them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "acm/acm.h"
#include "support/test_support.h"

namespace {

struct Tag {
    DWORD tag;
    DWORD formatSize;
    DWORD standardFormats;
    bool terminated;
};

struct Format {
    DWORD tag;
    DWORD index;
    WORD headerTag;
    std::string description;
};

// Each collector appends what it is handed to the vector behind dwInstance
// and goes on while the vector is shorter than its stopAfter.
struct Drivers {
    std::vector<HACMDRIVERID> seen;
    std::size_t stopAfter = SIZE_MAX;
};
struct Tags {
    std::vector<Tag> seen;
    std::size_t stopAfter = SIZE_MAX;
};
struct Formats {
    std::vector<Format> seen;
    std::size_t stopAfter = SIZE_MAX;
};

BOOL CALLBACK collectDriver(HACMDRIVERID hadid, DWORD_PTR dwInstance, DWORD /*fdwSupport*/) {
    auto* drivers = reinterpret_cast<Drivers*>(dwInstance);
    drivers->seen.push_back(hadid);
    return drivers->seen.size() < drivers->stopAfter ? TRUE : FALSE;
}

BOOL CALLBACK collectTag(HACMDRIVERID /*hadid*/, ACMFORMATTAGDETAILSA* paftd, DWORD_PTR dwInstance,
                         DWORD /*fdwSupport*/) {
    auto* tags = reinterpret_cast<Tags*>(dwInstance);
    const char* name = paftd->szFormatTag;
    tags->seen.push_back({paftd->dwFormatTag, paftd->cbFormatSize, paftd->cStandardFormats,
                          std::find(name, name + sizeof paftd->szFormatTag, '\0') !=
                              name + sizeof paftd->szFormatTag});
    return tags->seen.size() < tags->stopAfter ? TRUE : FALSE;
}

BOOL CALLBACK collectFormat(HACMDRIVERID /*hadid*/, ACMFORMATDETAILSA* pafd, DWORD_PTR dwInstance,
                            DWORD /*fdwSupport*/) {
    auto* formats = reinterpret_cast<Formats*>(dwInstance);
    formats->seen.push_back(
        {pafd->dwFormatTag, pafd->dwFormatIndex, pafd->pwfx->wFormatTag,
         std::string(pafd->szFormat, strnlen(pafd->szFormat, sizeof pafd->szFormat))});
    return formats->seen.size() < formats->stopAfter ? TRUE : FALSE;
}

std::vector<HACMDRIVERID> drivers() {
    Drivers drivers;
    EXPECT_EQ(MMSYSERR_NOERROR,
              acmDriverEnum(collectDriver, reinterpret_cast<DWORD_PTR>(&drivers), 0));
    return drivers.seen;
}

std::vector<Tag> tagsOf(HACMDRIVER had, std::size_t stopAfter = SIZE_MAX) {
    Tags tags;
    tags.stopAfter = stopAfter;
    ACMFORMATTAGDETAILSA details{};
    details.cbStruct = sizeof details;
    EXPECT_EQ(MMSYSERR_NOERROR,
              acmFormatTagEnumA(had, &details, collectTag, reinterpret_cast<DWORD_PTR>(&tags), 0));
    return tags.seen;
}

// The formats of tag (every tag if fdwEnum is 0), into a buffer of cbwfx
// bytes within a larger block whose other bytes must stay untouched.
std::vector<Format> formatsOf(HACMDRIVER had, DWORD tag, DWORD cbwfx, DWORD fdwEnum,
                              std::size_t stopAfter = SIZE_MAX) {
    constexpr unsigned char kCanary = 0xA5;
    std::vector<unsigned char> block(cbwfx + 64, kCanary);
    auto* header = reinterpret_cast<WAVEFORMATEX*>(block.data());
    std::memset(header, 0, sizeof *header);
    header->wFormatTag = static_cast<WORD>(tag);

    Formats formats;
    formats.stopAfter = stopAfter;
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.dwFormatTag = tag;
    details.pwfx = header;
    details.cbwfx = cbwfx;
    EXPECT_EQ(MMSYSERR_NOERROR, acmFormatEnumA(had, &details, collectFormat,
                                               reinterpret_cast<DWORD_PTR>(&formats), fdwEnum));
    EXPECT_TRUE(std::all_of(block.begin() + cbwfx, block.end(),
                            [](unsigned char b) { return b == kCanary; }))
        << "written beyond cbwfx = " << cbwfx;
    return formats.seen;
}

DWORD maxFormatSize() {
    DWORD size = 0;
    EXPECT_EQ(MMSYSERR_NOERROR, acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size));
    return size;
}

// An open handle, closed again when the test ends.
class Opened {
public:
    explicit Opened(HACMDRIVERID id) { EXPECT_EQ(MMSYSERR_NOERROR, acmDriverOpen(&had_, id, 0)); }
    ~Opened() { EXPECT_EQ(MMSYSERR_NOERROR, acmDriverClose(had_, 0)); }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    HACMDRIVER get() const { return had_; }

private:
    HACMDRIVER had_ = nullptr;
};

TEST(StandIn, TagsFormatsAndTheLargestFormatAgree) {
    const DWORD largest = maxFormatSize();
    DWORD largestTag = 0;
    for (const HACMDRIVERID id : drivers()) {
        const Opened had(id);
        for (const Tag& tag : tagsOf(had.get())) {
            SCOPED_TRACE(tag.tag);
            EXPECT_TRUE(tag.terminated);
            largestTag = std::max(largestTag, tag.formatSize);
            const std::vector<Format> formats =
                formatsOf(had.get(), tag.tag, largest, ACM_FORMATENUMF_WFORMATTAG);
            ASSERT_EQ(tag.standardFormats, formats.size());
            for (std::size_t i = 0; i < formats.size(); ++i) {
                EXPECT_EQ(tag.tag, formats[i].tag);
                EXPECT_EQ(tag.tag, formats[i].headerTag);
                EXPECT_EQ(i, formats[i].index);
                EXPECT_NE("", formats[i].description);
            }
        }
    }
    EXPECT_EQ(largestTag, largest);
}

TEST(StandIn, WritesNoMoreThanTheBufferHoldsAndListsEveryTagWithoutTheFilter) {
    const DWORD largest = maxFormatSize();
    for (const HACMDRIVERID id : drivers()) {
        const Opened had(id);
        std::size_t all = 0;
        for (const Tag& tag : tagsOf(had.get())) {
            all += tag.standardFormats;
            // The canary check in formatsOf fails on any byte past the buffer.
            EXPECT_EQ(tag.standardFormats, formatsOf(had.get(), tag.tag, sizeof(WAVEFORMATEX),
                                                     ACM_FORMATENUMF_WFORMATTAG)
                                               .size());
        }
        EXPECT_EQ(all, formatsOf(had.get(), 0, largest, 0).size());
    }
}

TEST(StandIn, EveryEnumerationEndsWhenItsCallbackReturnsFalse) {
    Drivers first;
    first.stopAfter = 1;
    EXPECT_EQ(MMSYSERR_NOERROR,
              acmDriverEnum(collectDriver, reinterpret_cast<DWORD_PTR>(&first), 0));
    EXPECT_EQ(1u, first.seen.size());

    const DWORD largest = maxFormatSize();
    bool tried = false;
    for (const HACMDRIVERID id : drivers()) {
        const Opened had(id);
        const std::vector<Tag> tags = tagsOf(had.get());
        const auto listed = std::find_if(tags.begin(), tags.end(),
                                         [](const Tag& t) { return t.standardFormats > 1; });
        if (tags.size() < 2 || listed == tags.end()) {
            continue;
        }
        tried = true;
        EXPECT_EQ(1u, tagsOf(had.get(), 1).size());
        EXPECT_EQ(1u,
                  formatsOf(had.get(), listed->tag, largest, ACM_FORMATENUMF_WFORMATTAG, 1).size());
        EXPECT_EQ(1u, formatsOf(had.get(), 0, largest, 0, 1).size());
    }
    EXPECT_TRUE(tried) << "no driver with two tags, one of them with two formats";
}

TEST(StandIn, HandlesAreFreedWhenClosedAndRefusedAfterwards) {
    const HACMDRIVERID id = drivers().front();
    // Far more opens than the stand-in has slots: each close frees its own.
    for (int i = 0; i < 1000; ++i) {
        HACMDRIVER had = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, acmDriverOpen(&had, id, 0)) << "open " << i;
        ASSERT_EQ(MMSYSERR_NOERROR, acmDriverClose(had, 0));
    }
    HACMDRIVER first = nullptr;
    HACMDRIVER second = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, acmDriverOpen(&first, id, 0));
    ASSERT_EQ(MMSYSERR_NOERROR, acmDriverOpen(&second, id, 0));
    EXPECT_NE(first, second);
    EXPECT_EQ(MMSYSERR_NOERROR, acmDriverClose(first, 0));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, acmDriverClose(first, 0));
    ACMFORMATTAGDETAILSA details{};
    details.cbStruct = sizeof details;
    EXPECT_EQ(MMSYSERR_INVALHANDLE, acmFormatTagEnumA(first, &details, collectTag, 0, 0));
    EXPECT_FALSE(tagsOf(second).empty()) << "the other handle still works";
    EXPECT_EQ(MMSYSERR_NOERROR, acmDriverClose(second, 0));
}

struct Refusal {
    const char* what;
    MMRESULT expected;
    std::function<MMRESULT(HACMDRIVERID, HACMDRIVER)> call;  // a driver's id and an open handle
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.what;
}

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, AreReportedAndCallNothingBack) {
    const HACMDRIVERID id = drivers().back();
    const Opened had(id);
    EXPECT_EQ(GetParam().expected, GetParam().call(id, had.get()));
}

// The callback of an enumeration that must be refused before it starts.
template <typename Details>
BOOL CALLBACK mustNotBeCalled(HACMDRIVERID /*hadid*/, Details* /*details*/,
                              DWORD_PTR /*dwInstance*/, DWORD /*fdwSupport*/) {
    ADD_FAILURE() << "called back";
    return FALSE;
}

// Calls acmFormatEnumA on had with a valid query that edit then spoils.
MMRESULT formatEnum(HACMDRIVER had, const std::function<void(ACMFORMATDETAILSA&)>& edit,
                    DWORD fdwEnum = ACM_FORMATENUMF_WFORMATTAG) {
    WAVEFORMATEX header{};
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.pwfx = &header;
    details.cbwfx = sizeof header;
    edit(details);
    return acmFormatEnumA(had, &details, mustNotBeCalled<ACMFORMATDETAILSA>, 0, fdwEnum);
}

MMRESULT tagEnum(HACMDRIVER had, DWORD cbStruct, DWORD fdwEnum = 0) {
    ACMFORMATTAGDETAILSA details{};
    details.cbStruct = cbStruct;
    return acmFormatTagEnumA(had, &details, mustNotBeCalled<ACMFORMATTAGDETAILSA>, 0, fdwEnum);
}

HACMDRIVER unknownHandle() {
    static int notAHandle;
    return reinterpret_cast<HACMDRIVER>(&notAHandle);
}

INSTANTIATE_TEST_SUITE_P(
    StandIn, Refusals,
    ::testing::Values(
        Refusal{"driver enum without callback", MMSYSERR_INVALPARAM,
                [](HACMDRIVERID, HACMDRIVER) { return acmDriverEnum(nullptr, 0, 0); }},
        Refusal{"driver enum with unknown flags", MMSYSERR_INVALFLAG,
                [](HACMDRIVERID, HACMDRIVER) { return acmDriverEnum(collectDriver, 0, 1); }},
        Refusal{"open of an unknown driver", MMSYSERR_INVALHANDLE,
                [](HACMDRIVERID id, HACMDRIVER) {
                    HACMDRIVER had = nullptr;
                    return acmDriverOpen(
                        &had,
                        reinterpret_cast<HACMDRIVERID>(reinterpret_cast<std::uintptr_t>(id) + 1),
                        0);
                }},
        Refusal{"open with flags", MMSYSERR_INVALFLAG,
                [](HACMDRIVERID id, HACMDRIVER) {
                    HACMDRIVER had = nullptr;
                    return acmDriverOpen(&had, id, 1);
                }},
        Refusal{"close of an unknown handle", MMSYSERR_INVALHANDLE,
                [](HACMDRIVERID, HACMDRIVER) { return acmDriverClose(unknownHandle(), 0); }},
        Refusal{"tag enum on an unknown handle", MMSYSERR_INVALHANDLE,
                [](HACMDRIVERID, HACMDRIVER) {
                    return tagEnum(unknownHandle(), sizeof(ACMFORMATTAGDETAILSA));
                }},
        Refusal{"tag enum with a short record", MMSYSERR_INVALPARAM,
                [](HACMDRIVERID, HACMDRIVER had) {
                    return tagEnum(had, sizeof(ACMFORMATTAGDETAILSA) - 1);
                }},
        Refusal{"tag enum with flags", MMSYSERR_INVALFLAG,
                [](HACMDRIVERID, HACMDRIVER had) {
                    return tagEnum(had, sizeof(ACMFORMATTAGDETAILSA), 1);
                }},
        Refusal{"format enum on an unknown handle", MMSYSERR_INVALHANDLE,
                [](HACMDRIVERID, HACMDRIVER) {
                    return formatEnum(unknownHandle(), [](ACMFORMATDETAILSA&) {});
                }},
        Refusal{"format enum with a short record", MMSYSERR_INVALPARAM,
                [](HACMDRIVERID, HACMDRIVER had) {
                    return formatEnum(had, [](ACMFORMATDETAILSA& d) { d.cbStruct -= 1; });
                }},
        Refusal{"format enum without a buffer", MMSYSERR_INVALPARAM,
                [](HACMDRIVERID, HACMDRIVER had) {
                    return formatEnum(had, [](ACMFORMATDETAILSA& d) { d.pwfx = nullptr; });
                }},
        Refusal{"format enum with a buffer below one header", MMSYSERR_INVALPARAM,
                [](HACMDRIVERID, HACMDRIVER had) {
                    return formatEnum(had, [](ACMFORMATDETAILSA& d) { d.cbwfx -= 1; });
                }},
        Refusal{"format enum with unknown flags", MMSYSERR_NOTSUPPORTED,
                [](HACMDRIVERID, HACMDRIVER had) {
                    return formatEnum(
                        had, [](ACMFORMATDETAILSA&) {}, 1);
                }},
        Refusal{"metric of a driver", MMSYSERR_NOTSUPPORTED,
                [](HACMDRIVERID, HACMDRIVER had) {
                    DWORD size = 0;
                    return acmMetrics(reinterpret_cast<HACMOBJ>(had), ACM_METRIC_MAX_SIZE_FORMAT,
                                      &size);
                }},
        Refusal{"another metric", MMSYSERR_NOTSUPPORTED,
                [](HACMDRIVERID, HACMDRIVER) {
                    DWORD size = 0;
                    return acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT + 1, &size);
                }},
        Refusal{"metric without a place for it", MMSYSERR_INVALPARAM,
                [](HACMDRIVERID, HACMDRIVER) {
                    return acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, nullptr);
                }}),
    [](const ::testing::TestParamInfo<Refusal>& param) {
        return test_support::caseName(param.param.what);
    });

}  // namespace
