#pragma once
// Guards that keep the HTML5 parser linear on any page: a scan of the tags before
// parsing, and the memory the parser works in, within a budget of bytes and time.

#include <QByteArray>
#include <array>
#include <chrono>
#include <csetjmp>
#include <cstdlib>
#include <gumbo.h>

namespace check {

// The HTML5 parser's time grows with the square of the nesting depth and with the square
// of a tag's attribute count, so pages where either runs away are refused before
// parsing. The depth is estimated by replaying the tags the way the tree builder treats
// them: every element that does not close itself stays open (a "/>" only closes in SVG
// and MathML, an end tag without a matching open element closes nothing, and an end tag
// closes only what the tree builder would), and formatting elements closed by another
// element's end tag still count, since the builder reopens them. The estimate never
// falls below the real depth on the usual shapes and stays near it on real pages; the
// real depth is measured again on the parsed tree.
struct Refusal {
    qsizetype offset = -1;
    enum { None, TooDeep, TooManyAttributes, TooMuchWork } why = None;
};
constexpr int kMaxAttributes = 200;

// Where the page nests deeper than `limit`, has a tag with more than kMaxAttributes
// attributes or asks the parser for more work than `workPerByte` allows.
Refusal ScanTags(const QByteArray &page, int limit, qint64 workPerByte);

// The parser's memory, handed out from large blocks and dropped at once (which also
// spares the parser's recursive teardown), within a budget of bytes and of time. When
// the budget runs out the parse is abandoned by a jump back to parseWithin(): the parser
// is C, owns nothing outside the arena and holds no global state.
class ParseArena {
public:
    ParseArena(qint64 byteBudget, std::chrono::steady_clock::duration timeBudget)
        : m_budget(byteBudget), m_deadline(std::chrono::steady_clock::now() + timeBudget)
    {
    }
    ~ParseArena()
    {
        while (m_blocks) {
            void *next = *static_cast<void **>(m_blocks);
            std::free(m_blocks);
            m_blocks = next;
        }
    }
    ParseArena(const ParseArena &) = delete;
    ParseArena &operator=(const ParseArena &) = delete;

    // The page's tree, or nullptr when the budget ran out.
    GumboOutput *parseWithin(const QByteArray &page)
    {
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0; // the parse errors are not reported: keep no list of them
        options.allocator = &ParseArena::allocate;
        options.deallocator = &ParseArena::release;
        options.userdata = this;
        if (setjmp(m_escape) != 0)
            return nullptr;
        return gumbo_parse_with_options(&options, page.constData(), size_t(page.size()));
    }

private:
    // Sizes up to kSmall go in classes 8 bytes apart (the parser needs no wider
    // alignment), larger ones in powers of two; a header before each block keeps its
    // class so freed blocks are reused.
    static constexpr size_t kSmall = 512, kHeader = 8, kBlockBytes = 1 << 20;
    static size_t classOf(size_t size)
    {
        if (size <= kSmall)
            return (size + 7) / 8;
        size_t c = kSmall / 8 + 1, capacity = kSmall * 2;
        while (capacity < size) {
            capacity *= 2;
            ++c;
        }
        return c;
    }
    static size_t capacityOf(size_t c) { return c <= kSmall / 8 ? c * 8 : kSmall << (c - kSmall / 8); }

    static void *allocate(void *userdata, size_t size)
    {
        auto *arena = static_cast<ParseArena *>(userdata);
        if ((++arena->m_calls & 63) == 0 && std::chrono::steady_clock::now() > arena->m_deadline)
            std::longjmp(arena->m_escape, 1);
        if (size > (size_t(1) << 40))
            std::longjmp(arena->m_escape, 1);
        const size_t c = classOf(std::max<size_t>(size, 1));
        if (arena->m_free[c]) {
            void *block = arena->m_free[c];
            arena->m_free[c] = *static_cast<void **>(block);
            return block;
        }
        const size_t need = kHeader + capacityOf(c);
        char *at;
        if (need > kBlockBytes / 4) {
            at = static_cast<char *>(arena->obtain(need));
        } else {
            if (arena->m_left < need) {
                arena->m_next = static_cast<char *>(arena->obtain(kBlockBytes));
                arena->m_left = kBlockBytes;
            }
            at = arena->m_next;
            arena->m_next += need;
            arena->m_left -= need;
        }
        *reinterpret_cast<size_t *>(at) = c;
        return at + kHeader;
    }
    static void release(void *userdata, void *block)
    {
        if (!block)
            return;
        auto *arena = static_cast<ParseArena *>(userdata);
        const size_t c = *reinterpret_cast<size_t *>(static_cast<char *>(block) - kHeader);
        *static_cast<void **>(block) = arena->m_free[c];
        arena->m_free[c] = block;
    }
    // Blocks are chained through their first bytes, so keeping them allocates nothing.
    void *obtain(size_t bytes)
    {
        m_used += qint64(bytes);
        void *block = m_used > m_budget ? nullptr : std::malloc(kHeader + bytes);
        if (!block)
            std::longjmp(m_escape, 1);
        *static_cast<void **>(block) = m_blocks;
        m_blocks = block;
        return static_cast<char *>(block) + kHeader;
    }

    std::jmp_buf m_escape;
    qint64 m_budget, m_used = 0;
    std::chrono::steady_clock::time_point m_deadline;
    unsigned m_calls = 0;
    void *m_blocks = nullptr;
    std::array<void *, 128> m_free{}; // a free list per class
    char *m_next = nullptr;
    size_t m_left = 0;
};

} // namespace check
