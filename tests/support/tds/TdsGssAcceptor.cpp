#include "TdsGssAcceptor.h"

#include <gssapi/gssapi_ext.h>

namespace {
// The library's text of a GSS status, major and minor.
QString StatusText(OM_uint32 major, OM_uint32 minor) {
    QString text;
    auto append = [&text](OM_uint32 code, int type) {
        OM_uint32 context = 0;
        do {
            OM_uint32 ignored = 0;
            gss_buffer_desc message = GSS_C_EMPTY_BUFFER;
            if (gss_display_status(&ignored, code, type, GSS_C_NO_OID, &context, &message) !=
                GSS_S_COMPLETE)
                return;
            if (!text.isEmpty())
                text += QStringLiteral(": ");
            text += QString::fromUtf8(static_cast<const char *>(message.value),
                                      static_cast<qsizetype>(message.length));
            gss_release_buffer(&ignored, &message);
        } while (context != 0);
    };
    append(major, GSS_C_GSS_CODE);
    if (minor != 0)
        append(minor, GSS_C_MECH_CODE);
    return text;
}
} // namespace

TdsGssAcceptor::TdsGssAcceptor(const QString &keytab) {
    // The keytab is named for this credential only: the process's own KRB5_KTNAME is untouched.
    const QByteArray path = keytab.toUtf8();
    gss_key_value_element_desc element{"keytab", path.constData()};
    gss_key_value_set_desc store{1, &element};
    OM_uint32 minor = 0;
    const OM_uint32 major =
        gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET,
                              GSS_C_ACCEPT, &store, &FCred, nullptr, nullptr);
    if (GSS_ERROR(major)) {
        FCred = GSS_C_NO_CREDENTIAL;
        FError = StatusText(major, minor);
    }
}

TdsGssAcceptor::~TdsGssAcceptor() {
    OM_uint32 minor = 0;
    if (FContext != GSS_C_NO_CONTEXT)
        gss_delete_sec_context(&minor, &FContext, GSS_C_NO_BUFFER);
    if (FCred != GSS_C_NO_CREDENTIAL)
        gss_release_cred(&minor, &FCred);
}

TdsGssAcceptor::Step TdsGssAcceptor::Accept(const QByteArray &token) {
    FOutput.clear();
    if (FCred == GSS_C_NO_CREDENTIAL)
        return Step::Failed; // FError says why the keytab gave no credential
    gss_buffer_desc input{static_cast<size_t>(token.size()), const_cast<char *>(token.constData())};
    gss_buffer_desc output = GSS_C_EMPTY_BUFFER;
    gss_name_t client = GSS_C_NO_NAME;
    OM_uint32 minor = 0;
    const OM_uint32 major =
        gss_accept_sec_context(&minor, &FContext, FCred, &input, GSS_C_NO_CHANNEL_BINDINGS, &client,
                               nullptr, &output, nullptr, nullptr, nullptr);
    OM_uint32 ignored = 0;
    if (output.length > 0)
        FOutput = QByteArray(static_cast<const char *>(output.value),
                             static_cast<qsizetype>(output.length));
    gss_release_buffer(&ignored, &output);
    if (GSS_ERROR(major)) {
        FError = StatusText(major, minor);
        if (client != GSS_C_NO_NAME)
            gss_release_name(&ignored, &client);
        return Step::Failed;
    }
    if (major & GSS_S_CONTINUE_NEEDED)
        return Step::Continue;
    gss_buffer_desc name = GSS_C_EMPTY_BUFFER;
    if (gss_display_name(&ignored, client, &name, nullptr) == GSS_S_COMPLETE)
        FPrincipal = QString::fromUtf8(static_cast<const char *>(name.value),
                                       static_cast<qsizetype>(name.length));
    gss_release_buffer(&ignored, &name);
    gss_release_name(&ignored, &client);
    return Step::Complete;
}
