// Blocks made on worker threads and taken in order (the CSV export and the scan of a table's
// numbers use it): the order, a failure on either side, and the reuse of the pieces.

#include "platform/ordered_blocks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {
namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Some work for a block, so that the workers finish out of order.
std::string madeText(int block)
{
    std::string text;
    for (int i = 0; i < 200 + (block * 7919) % 3000; ++i)
        text += char('a' + (block + i) % 26);
    return text + "#" + std::to_string(block);
}

TEST(MakeInOrder, TakesEveryBlockOnceInOrderThroughAFewPieces)
{
    for (const int count : {0, 1, 2, 3, 17, 500}) {
        SCOPED_TRACE(count);
        std::vector<std::string> taken;
        std::set<const std::string*> pieces;
        std::atomic<int> made{0};
        makeInOrder<std::string>(
            count,
            [&](int block, std::string& piece) {
                piece = madeText(block);
                ++made;
            },
            [&](const std::string& piece) {
                taken.push_back(piece);
                pieces.insert(&piece);
            });
        EXPECT_EQ(made.load(), count);
        ASSERT_EQ(int(taken.size()), count);
        for (int block = 0; block < count; ++block)
            EXPECT_EQ(taken[std::size_t(block)], madeText(block)) << block;
        // At most four workers, each with one piece in hand, and two waiting to be taken.
        EXPECT_LE(pieces.size(), 6u);
    }
}

TEST(MakeInOrder, AFailureStopsTheWorkAndComesOut)
{
    struct Case {
        const char* name;
        int failingMake;  // the block whose making throws, or -1
        int failingTake;  // the block whose taking throws, or -1
    };
    const Case cases[] = {
        {"making the first block", 0, -1},
        {"making a block in the middle", 37, -1},
        {"making the last block", 99, -1},
        {"taking the first block", -1, 0},
        {"taking a block in the middle", -1, 37},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> taken;
        std::atomic<int> madeAfterFailure{0};
        std::atomic<bool> failed{false};
        try {
            makeInOrder<int>(
                100,
                [&](int block, int& piece) {
                    if (failed)
                        ++madeAfterFailure;
                    if (block == c.failingMake) {
                        failed = true;
                        throw Failure("make");
                    }
                    piece = block;
                },
                [&](const int& piece) {
                    if (piece == c.failingTake) {
                        failed = true;
                        throw Failure("take");
                    }
                    taken.push_back(piece);
                });
            ADD_FAILURE() << "no failure came out";
        } catch (const Failure& failure) {
            EXPECT_STREQ(failure.what(), c.failingMake >= 0 ? "make" : "take");
        }
        // Nothing after the failing block was taken, and what was taken is in order.
        const int failing = c.failingMake >= 0 ? c.failingMake : c.failingTake;
        for (std::size_t i = 0; i < taken.size(); ++i)
            EXPECT_EQ(taken[i], int(i));
        EXPECT_LE(int(taken.size()), failing);
        // The workers stopped soon: no more than a ring's worth of blocks, and the ones each
        // worker had in hand, were made after it.
        EXPECT_LE(madeAfterFailure.load(), 10);
    }
}

} // namespace
} // namespace platform
