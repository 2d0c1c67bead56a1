#include "U_ParamList.h"

#include "U_ParamInput.h"

#include <utility>
#include <vector>

namespace {
const QString kLineEnd = QStringLiteral("\r\n");

// Characters that can continue a T-SQL variable name.
bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}
} // namespace

QString GetParamsBlock(const QList<const TOrvel_ParamInput *> &params, bool withDeclarations) {
    QString block;
    if (params.isEmpty())
        return block;
    if (withDeclarations) {
        block += QStringLiteral("DECLARE") + kLineEnd;
        for (qsizetype i = 0; i < params.size(); ++i) {
            block += params[i]->GetDeclaration(true);
            if (i + 1 < params.size())
                block += u',';
            block += kLineEnd;
        }
        block += kLineEnd;
    }
    // The block with declarations feeds the pick lists and the information view; the block
    // without them goes into the report's script, where the type comment helps the reader.
    for (const TOrvel_ParamInput *p : params)
        block += p->GetAssignment(!withDeclarations) + kLineEnd;
    return block;
}

bool ListQueryUsesParam(const QString &listquery, const QString &name) {
    if (name.isEmpty())
        return false;
    const QString variable = u'@' + name;
    for (qsizetype at = listquery.indexOf(variable, 0, Qt::CaseInsensitive); at >= 0;
         at = listquery.indexOf(variable, at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = at + variable.size();
        const bool startsName = at == 0 || !IsNameChar(listquery[at - 1]);
        const bool endsName = end >= listquery.size() || !IsNameChar(listquery[end]);
        if (startsName && endsName)
            return true;
    }
    return false;
}

QList<int> ListsToClear(const QList<const TOrvel_ParamData *> &params, int changed) {
    QList<int> order;
    const int count = static_cast<int>(params.size());
    if (changed < 0 || changed >= count)
        return order;
    std::vector<bool> done(static_cast<std::size_t>(count), false);
    done[static_cast<std::size_t>(changed)] = true;
    // Depth first, in collection order at every level: the order in which clearing one list and
    // notifying its change clears the next.
    std::vector<std::pair<int, int>> stack{{changed, 0}}; // (source, next candidate)
    while (!stack.empty()) {
        auto &[source, next] = stack.back();
        bool descended = false;
        while (next < count) {
            const int j = next++;
            const TOrvel_ParamData &p = *params[j];
            if (done[static_cast<std::size_t>(j)] || p.listquery.isEmpty() ||
                !ListQueryUsesParam(p.listquery, params[source]->name))
                continue;
            done[static_cast<std::size_t>(j)] = true;
            order << j;
            stack.emplace_back(j, 0); // invalidates source/next; leave the loop at once
            descended = true;
            break;
        }
        if (!descended)
            stack.pop_back();
    }
    return order;
}
