#include "attrinfo/AttrRead.h"

#include <exception>

#include "attrinfo/AttrInfo.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "directory/DSValues.h"
#include "util/Util.h"

namespace trovalen {

namespace {

// The text of a time pseudo attribute; no line when the time cannot be read.
NWCCODE TimeLines(TNWClient* client, NWHandle ctx, const std::string& name, uint32_t item,
                  TStringList& lines) {
    uint32_t seconds = 0;
    NWCCODE code = U_DSGetTimeItem(client, ctx, name, item, seconds);
    if (code == NW_OK && seconds != 0)
        U_AddTextLines(U_DateTimeText(U_UnixToDateTime(seconds)), lines);
    return code;
}

} // namespace

NWCCODE U_DSReadAttribute(TNWClient* client, NWHandle ctx, const std::string& object,
                          const std::string& attr, TStringList& lines) {
    return U_DSReadAttrValues(
        client, ctx, object, attr,
        [&](NWHandle readCtx, uint32_t, const TAttrValue* value, uint32_t size, uint32_t number) {
            if (value == nullptr) {
                std::string text;
                NWCCODE code = U_StreamValueText(client, readCtx, object, attr, text);
                if (code == NW_OK)
                    lines.Add(text);
                return code;
            }
            // A value that cannot be shown shows why instead; the values after it still come.
            try {
                U_FormatAttrValue(client, readCtx, object, attr, lines, *value, size, number);
            } catch (const std::exception& e) {
                lines.Add(e.what());
            } catch (...) {
                lines.Add("Unknown error");
            }
            return NW_OK;
        });
}

NWCCODE U_DSGetAttribute(TNWClient* client, NWHandle ctx, const std::string& object,
                         const std::string& attr, TStringList& lines) {
    return U_DSReadAttribute(client, ctx, object, attr, lines);
}

NWCCODE U_DSGetAttributeEx(TNWClient* client, NWHandle ctx, const std::string& object,
                           const std::string& attrPath, TStringList& lines) {
    std::string head, rest;
    U_SplitAt(attrPath, "|", head, rest);
    TStringList values;
    NWCCODE code = NW_OK;
    std::string text;
    if (U_SameText(head, "CONTEXT")) {
        code = U_DSGetParentDN(client, ctx, object, text);
        U_AddTextLines(text, values);
    } else if (U_SameText(head, "RDN")) {
        code = U_DSGetRDN(client, ctx, object, text);
        U_AddTextLines(text, values);
    } else if (U_SameText(head, "CLASS")) {
        code = U_DSGetBaseClass(client, ctx, object, text);
        U_AddTextLines(text, values);
    } else if (U_SameText(head, "createTimeStamp")) {
        code = TimeLines(client, ctx, object, DSI_CREATION_TIME, values);
    } else if (U_SameText(head, "modifyTimestamp")) {
        code = TimeLines(client, ctx, object, DSI_MODIFICATION_TIME, values);
    } else {
        code = U_DSReadAttribute(client, ctx, object, head, values);
    }
    if (code == NW_OK && !rest.empty()) {
        bool ldapName = U_SameText(head, "creatorsName") || U_SameText(head, "modifiersName");
        TStringList collected;
        for (int i = 0; i < values.Count(); ++i) {
            if (ldapName)
                values[i] = U_DSDotName(U_DSTypelessName(values[i]));
            TStringList inner;
            code = U_DSGetAttributeEx(client, ctx, values[i], rest, inner);
            if (code == NW_OK)
                collected.Append(inner);
        }
        values = collected;
    }
    lines = values;
    return code;
}

NWCCODE U_DSGetAttributeText(TNWClient* client, NWHandle ctx, const std::string& object,
                             const std::string& attrPath, std::string& text) {
    TStringList lines;
    NWCCODE code = U_DSGetAttributeEx(client, ctx, object, attrPath, lines);
    if (code == NW_OK)
        text = U_TrimRightChars(lines.Text("\r\n"), "\r\n");
    return code;
}

} // namespace trovalen
