#include "scoremodel/NoteRope.h"

#include <algorithm>
#include <cstring>

namespace tw {

void NoteRope::clear() {
    // The blocks' memory stays for the next notes, as a vector keeps its capacity.
    for (auto &block : blocks_)
        spare_.push_back(std::move(block));
    blocks_.clear();
    firsts_.clear();
    size_ = 0;
}

void NoteRope::assign(const TapeNote *notes, std::size_t count) {
    clear();
    replace(0, 0, notes, count);
}

void NoteRope::copyTo(std::vector<TapeNote> &out) const {
    out.resize(size_);
    TapeNote *to = out.data();
    for (const auto &block : blocks_) {
        std::copy(block.begin(), block.end(), to);
        to += block.size();
    }
}

std::size_t NoteRope::blockOf(std::size_t index) const {
    if (index >= size_)
        return blocks_.size() - 1;
    return std::size_t(std::upper_bound(firsts_.begin(), firsts_.end(), index) - firsts_.begin()) -
           1;
}

NoteRope::Span<TapeNote> NoteRope::span(std::size_t index) {
    const std::size_t b = blockOf(index);
    return {firsts_[b], firsts_[b] + blocks_[b].size(), blocks_[b].data()};
}

NoteRope::Span<const TapeNote> NoteRope::span(std::size_t index) const {
    const std::size_t b = blockOf(index);
    return {firsts_[b], firsts_[b] + blocks_[b].size(), blocks_[b].data()};
}

void NoteRope::renumberFrom(std::size_t block) {
    firsts_.resize(blocks_.size());
    for (std::size_t i = block; i < blocks_.size(); ++i)
        firsts_[i] = i == 0 ? 0 : firsts_[i - 1] + blocks_[i - 1].size();
}

void NoteRope::replace(std::size_t at, std::size_t oldCount, const TapeNote *src,
                       std::size_t newCount) {
    if (oldCount == 0 && newCount == 0)
        return;
    if (oldCount == newCount) {
        // As many notes as before: copied over, block by block.
        for (std::size_t done = 0; done < newCount;) {
            const Span<TapeNote> to = span(at + done);
            const std::size_t n = std::min(to.end - (at + done), newCount - done);
            std::copy(src + done, src + done + n, to.notes + (at + done - to.first));
            done += n;
        }
        return;
    }
    std::size_t b = 0, e = 0, headCount = 0, tailFrom = 0;
    if (!blocks_.empty()) {
        b = blockOf(at);
        headCount = at - firsts_[b];
        std::vector<TapeNote> &block = blocks_[b];
        const std::size_t after = block.size() - oldCount + newCount;
        if (headCount + oldCount <= block.size() && after > 0 && after <= 2 * blockNotes) {
            // Within one block.
            if (after > block.capacity())
                block.reserve(std::min(2 * blockNotes, after + after / 8 + 16));
            const auto first = block.begin() + std::ptrdiff_t(headCount);
            if (newCount >= oldCount) {
                std::copy(src, src + oldCount, first);
                block.insert(first + std::ptrdiff_t(oldCount), src + oldCount, src + newCount);
            } else {
                std::copy(src, src + newCount, first);
                block.erase(first + std::ptrdiff_t(newCount), first + std::ptrdiff_t(oldCount));
            }
            size_ = size_ - oldCount + newCount;
            renumberFrom(b + 1);
            return;
        }
        e = oldCount == 0 ? b : blockOf(at + oldCount - 1);
        tailFrom = at + oldCount - firsts_[e];
    }
    // Blocks b..e are made anew from the notes before `at` in b, src and the notes after the
    // replaced ones in e, in blocks of even size; the old blocks lend their memory.
    std::vector<TapeNote> head, tail;
    std::vector<std::vector<TapeNote>> &spare = spare_;
    if (!blocks_.empty()) {
        head.assign(blocks_[b].begin(), blocks_[b].begin() + std::ptrdiff_t(headCount));
        tail.assign(blocks_[e].begin() + std::ptrdiff_t(tailFrom), blocks_[e].end());
        for (std::size_t i = b; i <= e; ++i)
            spare.push_back(std::move(blocks_[i]));
        blocks_.erase(blocks_.begin() + std::ptrdiff_t(b), blocks_.begin() + std::ptrdiff_t(e + 1));
    }
    const std::size_t total = head.size() + newCount + tail.size();
    const std::size_t pieces = (total + blockNotes - 1) / blockNotes;
    std::vector<std::vector<TapeNote>> made(pieces);
    const TapeNote *sources[3] = {head.data(), src, tail.data()};
    const std::size_t counts[3] = {head.size(), newCount, tail.size()};
    std::size_t source = 0, taken = 0;
    for (std::size_t p = 0; p < pieces; ++p) {
        std::size_t want = total / pieces + (p < total % pieces ? 1 : 0);
        std::vector<TapeNote> &piece = made[p];
        if (!spare.empty()) {
            piece = std::move(spare.back());
            spare.pop_back();
            piece.clear();
        }
        if (piece.capacity() < want)
            piece.reserve(want + want / 16 + 16); // room for a few insertions
        while (want > 0) {
            while (taken == counts[source]) {
                ++source;
                taken = 0;
            }
            const std::size_t n = std::min(want, counts[source] - taken);
            piece.insert(piece.end(), sources[source] + taken, sources[source] + taken + n);
            taken += n;
            want -= n;
        }
    }
    blocks_.insert(blocks_.begin() + std::ptrdiff_t(b), std::make_move_iterator(made.begin()),
                   std::make_move_iterator(made.end()));
    size_ = size_ - oldCount + newCount;
    renumberFrom(b);
}

std::size_t NoteRope::heldBytes() const {
    std::size_t bytes = blocks_.capacity() * sizeof(blocks_[0]) + firsts_.capacity() * 8;
    for (const auto &block : blocks_)
        bytes += block.capacity() * sizeof(TapeNote);
    bytes += spare_.capacity() * sizeof(spare_[0]);
    for (const auto &block : spare_)
        bytes += block.capacity() * sizeof(TapeNote);
    return bytes;
}

} // namespace tw
