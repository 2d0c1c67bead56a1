#pragma once
// The user's language order for texts, letter case ignored ("Długie" before "Duży" in Polish,
// "Ł" after "L"): the one collation that the result's sort keys and the report catalogue share.
#include <QLocale>
#include <QStringView>

#include <memory>

struct UCollator;

struct TOrvel_CollatorDeleter {
    void operator()(UCollator *collator) const;
};
using TOrvel_Collator = std::unique_ptr<UCollator, TOrvel_CollatorDeleter>;

// A collator of the locale's language, set up as Qt's collator sets it up (canonical
// normalisation, secondary strength, no numeric ordering, punctuation counted); the root order
// for a language ICU does not know. Never null.
TOrvel_Collator OpenUserCollator(const QLocale &locale);

// Compares two texts in a locale's order: negative, zero or positive.
class TOrvel_TextOrder {
public:
    explicit TOrvel_TextOrder(const QLocale &locale);
    int Compare(QStringView a, QStringView b) const;
    bool operator()(QStringView a, QStringView b) const { return Compare(a, b) < 0; }

private:
    TOrvel_Collator FCollator;
};
