#include "U_DbSortKeys.h"

#include "U_Collation.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr std::uint64_t kSignBit = std::uint64_t(1) << 63;

struct Item {
    std::uint64_t Key;
    std::uint32_t Row;
};

bool KeyLess(const Item &a, const Item &b) {
    return a.Key < b.Key;
}

// A stable LSD radix sort by Key, one byte a pass; a byte that is the same in every key costs
// only its count. Small ranges go to a comparison sort.
void RadixSort(Item *a, Item *tmp, std::size_t n) {
    if (n < 64) {
        std::stable_sort(a, a + n, KeyLess);
        return;
    }
    std::array<std::array<std::uint32_t, 256>, 8> counts{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t k = a[i].Key;
        for (int b = 0; b < 8; ++b)
            ++counts[b][(k >> (8 * b)) & 0xFF];
    }
    Item *from = a, *to = tmp;
    for (int b = 0; b < 8; ++b) {
        auto &count = counts[b];
        if (count[(from[0].Key >> (8 * b)) & 0xFF] == n)
            continue;
        std::array<std::uint32_t, 256> at{};
        std::uint32_t sum = 0;
        for (int d = 0; d < 256; ++d) {
            at[d] = sum;
            sum += count[d];
        }
        for (std::size_t i = 0; i < n; ++i)
            to[at[(from[i].Key >> (8 * b)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != a)
        std::copy(from, from + n, a);
}

// A key that orders doubles by value (-0 as 0).
std::uint64_t RealKey(double v) {
    if (v == 0)
        v = 0;
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return (bits & kSignBit) ? ~bits : bits | kSignBit;
}

// Compares two exact decimal texts ("-12.50", "3") by value, digit by digit, so that
// 38-digit decimals sort exactly.
int CompareDecimalText(QStringView a, QStringView b) {
    struct Parts {
        bool negative = false;
        QStringView intPart, fracPart;
    };
    auto split = [](QStringView s) {
        Parts p;
        s = s.trimmed();
        if (!s.isEmpty() && (s[0] == QLatin1Char('-') || s[0] == QLatin1Char('+'))) {
            p.negative = s[0] == QLatin1Char('-');
            s = s.mid(1);
        }
        const qsizetype dot = s.indexOf(QLatin1Char('.'));
        p.intPart = dot < 0 ? s : s.left(dot);
        p.fracPart = dot < 0 ? QStringView() : s.mid(dot + 1);
        while (!p.intPart.isEmpty() && p.intPart[0] == QLatin1Char('0'))
            p.intPart = p.intPart.mid(1);
        while (!p.fracPart.isEmpty() && p.fracPart.back() == QLatin1Char('0'))
            p.fracPart.chop(1);
        if (p.intPart.isEmpty() && p.fracPart.isEmpty())
            p.negative = false; // -0 equals 0
        return p;
    };
    const Parts x = split(a), y = split(b);
    if (x.negative != y.negative)
        return x.negative ? -1 : 1;
    int magnitude = 0;
    if (x.intPart.size() != y.intPart.size()) {
        magnitude = x.intPart.size() < y.intPart.size() ? -1 : 1;
    } else {
        magnitude = x.intPart.compare(y.intPart);
        if (magnitude == 0) {
            const qsizetype n = std::max(x.fracPart.size(), y.fracPart.size());
            for (qsizetype i = 0; i < n && magnitude == 0; ++i) {
                const QChar cx = i < x.fracPart.size() ? x.fracPart[i] : QLatin1Char('0');
                const QChar cy = i < y.fracPart.size() ? y.fracPart[i] : QLatin1Char('0');
                magnitude = cx < cy ? -1 : (cy < cx ? 1 : 0);
            }
        }
        magnitude = magnitude < 0 ? -1 : (magnitude > 0 ? 1 : 0);
    }
    return x.negative ? -magnitude : magnitude;
}

// The double nearest to a decimal text: rounding is monotonic, so it orders every pair of values
// whose doubles differ. A text that is no number counts as 0.
double ApproxDecimal(QStringView text) {
    text = text.trimmed();
    char buf[64];
    if (text.size() >= qsizetype(sizeof buf))
        return text.toDouble();
    qsizetype n = 0;
    for (const QChar c : text)
        buf[n++] = c.unicode() < 0x80 ? char(c.unicode()) : '?';
    const char *begin = buf + (n > 0 && buf[0] == '+' ? 1 : 0);
    double v = 0;
    const auto res = std::from_chars(begin, buf + n, v);
    return res.ec == std::errc() && res.ptr == buf + n ? v : 0.0;
}

using TCollator = TOrvel_Collator;

TCollator OpenCollator(const QLocale &locale) {
    return OpenUserCollator(locale);
}

unsigned KeyThreads(std::size_t rows) {
    if (rows < 50000)
        return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

} // namespace

DbSortKeys::DbSortKeys(const DbColumn &column, const QLocale &locale) : FColumn(column) {
    const std::size_t n = column.Size();
    const TFieldType t = column.Info().Type;
    const TFieldKind kind = FieldKindOf(t);
    FKeys.resize(n);
    if (t == TFieldType::ftBCD) {
        FKind = Kind::Decimal;
        for (std::size_t r = 0; r < n; ++r)
            FKeys[r] = column.IsNull(r) ? 0 : RealKey(ApproxDecimal(column.Text(r)));
    } else if (t == TFieldType::ftFloat || t == TFieldType::ftCurrency) {
        for (std::size_t r = 0; r < n; ++r)
            FKeys[r] = RealKey(column.Real(r));
    } else if (kind == TFieldKind::fkNumeric || kind == TFieldKind::fkDateTime ||
               kind == TFieldKind::fkBoolean) {
        for (std::size_t r = 0; r < n; ++r)
            FKeys[r] = static_cast<std::uint64_t>(column.Int(r)) ^ kSignBit;
    } else {
        // Collation keys in slices, each with its own collator; then one pool.
        FKind = Kind::Text;
        const unsigned parts = KeyThreads(n);
        struct Slice {
            std::vector<std::uint8_t> Pool;
            std::vector<std::uint32_t> Size;
        };
        std::vector<Slice> slices(parts);
        {
            std::vector<std::jthread> workers;
            for (unsigned p = 0; p < parts; ++p)
                workers.emplace_back([&, p] {
                    const TCollator collator = OpenCollator(locale);
                    const std::size_t from = n * p / parts, to = n * (p + 1) / parts;
                    Slice &slice = slices[p];
                    slice.Size.reserve(to - from);
                    slice.Pool.reserve((to - from) * 24);
                    std::vector<std::uint8_t> key(256);
                    for (std::size_t r = from; r < to; ++r) {
                        const QStringView text = column.IsNull(r) ? QStringView() : column.Text(r);
                        const auto *chars = reinterpret_cast<const UChar *>(text.utf16());
                        const auto length = static_cast<int32_t>(text.size());
                        int32_t size = ucol_getSortKey(collator.get(), chars, length, key.data(),
                                                       static_cast<int32_t>(key.size()));
                        if (size > static_cast<int32_t>(key.size())) {
                            key.resize(static_cast<std::size_t>(size));
                            size = ucol_getSortKey(collator.get(), chars, length, key.data(),
                                                   static_cast<int32_t>(key.size()));
                        }
                        slice.Pool.insert(slice.Pool.end(), key.data(), key.data() + size);
                        slice.Size.push_back(static_cast<std::uint32_t>(size));
                    }
                });
        }
        std::size_t total = 0;
        for (const Slice &s : slices)
            total += s.Pool.size();
        if (total > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("DbSortKeys: the sort keys of a column exceed 4 GiB");
        FPool.reserve(total);
        FStart.reserve(n + 1);
        FStart.push_back(0);
        for (Slice &s : slices) {
            FPool.insert(FPool.end(), s.Pool.begin(), s.Pool.end());
            for (const std::uint32_t size : s.Size)
                FStart.push_back(FStart.back() + size);
            s = Slice{};
        }
        for (std::size_t r = 0; r < n; ++r)
            FKeys[r] = TextChunk(static_cast<std::uint32_t>(r), 0);
    }
}

std::uint64_t DbSortKeys::TextChunk(std::uint32_t row, std::size_t depth) const {
    const std::size_t begin = FStart[row] + 8 * depth, end = FStart[row + 1];
    std::uint64_t chunk = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        chunk <<= 8;
        if (begin + i < end)
            chunk |= FPool[begin + i];
    }
    return chunk;
}

bool DbSortKeys::TextEnds(std::uint32_t row, std::size_t depth) const {
    return FStart[row] + 8 * depth >= FStart[row + 1];
}

std::vector<std::uint32_t> DbSortKeys::Order(bool ascending) const {
    const std::size_t n = FKeys.size();
    std::vector<std::uint32_t> nulls;
    std::vector<Item> items;
    items.reserve(n);
    for (std::size_t r = 0; r < n; ++r) {
        if (FColumn.IsNull(r))
            nulls.push_back(static_cast<std::uint32_t>(r));
        else
            items.push_back({ascending ? FKeys[r] : ~FKeys[r], static_cast<std::uint32_t>(r)});
    }
    std::vector<Item> tmp(items.size());
    RadixSort(items.data(), tmp.data(), items.size());

    // Runs of equal keys are sorted on where the key does not decide: texts by their next key
    // bytes, decimals by their exact text.
    auto forEachRun = [](Item *a, std::size_t count, auto &&sortRun) {
        for (std::size_t s = 0; s < count;) {
            std::size_t e = s + 1;
            while (e < count && a[e].Key == a[s].Key)
                ++e;
            if (e - s > 1)
                sortRun(a + s, e - s);
            s = e;
        }
    };
    if (FKind == Kind::Text) {
        auto sortText = [&](auto &self, Item *a, std::size_t count, std::size_t depth) -> void {
            forEachRun(a, count, [&](Item *run, std::size_t size) {
                if (TextEnds(run[0].Row, depth)) // equal so far and ended: the same key
                    return;
                for (std::size_t i = 0; i < size; ++i) {
                    const std::uint64_t chunk = TextChunk(run[i].Row, depth);
                    run[i].Key = ascending ? chunk : ~chunk;
                }
                RadixSort(run, tmp.data(), size);
                self(self, run, size, depth + 1);
            });
        };
        sortText(sortText, items.data(), items.size(), 1);
    } else if (FKind == Kind::Decimal) {
        forEachRun(items.data(), items.size(), [&](Item *run, std::size_t size) {
            std::stable_sort(run, run + size, [&](const Item &a, const Item &b) {
                const int c = CompareDecimalText(FColumn.Text(a.Row), FColumn.Text(b.Row));
                return ascending ? c < 0 : c > 0;
            });
        });
    }

    std::vector<std::uint32_t> order;
    order.reserve(n);
    if (ascending)
        order.insert(order.end(), nulls.begin(), nulls.end());
    for (const Item &item : items)
        order.push_back(item.Row);
    if (!ascending)
        order.insert(order.end(), nulls.begin(), nulls.end());
    return order;
}

std::size_t DbSortKeys::MemoryBytes() const {
    return FKeys.capacity() * sizeof(std::uint64_t) + FPool.capacity() +
           FStart.capacity() * sizeof(std::uint32_t) + sizeof(*this);
}
