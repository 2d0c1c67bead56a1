// The embedded engine's T-SQL tokenizer and batch splitter: any text is either split or refused
// with a T-SQL error (an unclosed string, name or comment), never anything else. The tokens give
// back the text exactly.
#include "FuzzSupport.h"
#include "U_TSql.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString sql = Utf16Text(data, size);
    try {
        const std::vector<tsql::Token> tokens = tsql::Tokenize(sql);
        QString joined;
        for (const tsql::Token &t : tokens) {
            joined += t.text;
            (void)t.value();
            (void)t.keyword();
        }
        FUZZ_CHECK(joined == sql);
        for (const tsql::Statement &s : tsql::SplitBatch(sql)) {
            (void)s.keyword();
            (void)tsql::Join(s.tokens);
        }
    } catch (const tsql::Error &e) {
        FUZZ_CHECK(e.Number == 105 || e.Number == 113);
    }
    return 0;
}
