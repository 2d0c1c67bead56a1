#include "U_Collation.h"

#include <unicode/ucol.h>

void TOrvel_CollatorDeleter::operator()(UCollator *collator) const {
    ucol_close(collator);
}

TOrvel_Collator OpenUserCollator(const QLocale &locale) {
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray name = locale.language() == QLocale::C
                                ? QByteArray()
                                : locale.bcp47Name().replace(u'-', u'_').toLatin1();
    TOrvel_Collator collator(ucol_open(name.constData(), &status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(ucol_open("", &status));
    }
    ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator.get(), UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return collator;
}

TOrvel_TextOrder::TOrvel_TextOrder(const QLocale &locale) : FCollator(OpenUserCollator(locale)) {}

int TOrvel_TextOrder::Compare(QStringView a, QStringView b) const {
    static_assert(sizeof(UChar) == sizeof(char16_t));
    return ucol_strcoll(FCollator.get(), reinterpret_cast<const UChar *>(a.utf16()),
                        static_cast<int32_t>(a.size()), reinterpret_cast<const UChar *>(b.utf16()),
                        static_cast<int32_t>(b.size()));
}
