#include "UDB/udb_ftd.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

bool udb_is_numeric_vt(VARTYPE vt) {
    return (vt >= VT_I2 && vt <= VT_CY) || vt == VT_BOOL || vt == VT_DECIMAL ||
           (vt >= VT_I1 && vt <= VT_UINT);
}

bool udb_is_text_vt(VARTYPE vt) {
    return vt == VT_BSTR || vt == VT_LPSTR || vt == VT_LPWSTR;
}

bool udb_is_blob_vt(VARTYPE vt) {
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_UI1_ARRAY;
}

t_ftd::t_ftd(int32_t size_, const std::wstring& name_, VARTYPE vartype_, bool not_null,
             bool auto_num, const ole_variant& def, int32_t reserved_, const std::wstring& aux)
    : size(size_),
      name(name_),
      vartype(vartype_),
      aux_text(aux),
      b_auto_num(auto_num),
      b_not_null(not_null),
      default_value(def),
      reserved(reserved_) {
    tk_log_printf(1, "t_ftd::ctor2");
    tk_log_wprintf(1, L"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", name,
                   vartype, size, b_not_null, reserved);
}

bool t_ftd::operator==(const t_ftd& that) const {
    tk_log_printf(1, "t_ftd::operator ==");
    auto money = [](VARTYPE vt) { return vt == VT_DECIMAL || vt == VT_CY; };
    if (money(vartype) && money(that.vartype)) return true;
    if (vartype != that.vartype) return false;
    return vartype != VT_BSTR || size == that.size;
}

bool t_ftd::conform_to(const t_ftd& dest) const {
    tk_log_printf(1, "t_ftd::conform_to");
    if (*this == dest) {
        tk_log_printf(1, "Src and dest columns are identical");
        return true;
    }
    tk_log_printf(1, "that.type=%d", dest.vartype);
    VARTYPE src = vartype;
    if (udb_is_numeric_vt(dest.vartype))
        return (src >= VT_I2 && src <= VT_CY) || src == VT_BOOL || src == VT_DECIMAL ||
               (src >= VT_I1 && src <= VT_UI8);
    if (dest.vartype == VT_DATE) {
        tk_log_printf(1, "Processing VT_DATE, size=%d", size);
        return src == VT_DATE || (src == VT_BSTR && size == 19);
    }
    if (udb_is_text_vt(dest.vartype)) {
        if (udb_is_text_vt(src)) {
            tk_log_printf(1, "Src and dest columns are both text");
            return !(dest.size != 0 && dest.size < size && dest.size < 0xFFFF);
        }
        return !udb_is_blob_vt(src);
    }
    if (udb_is_blob_vt(dest.vartype)) {
        if (udb_is_text_vt(src) || udb_is_blob_vt(src)) {
            tk_log_printf(1, "Src is BLOB and dest is TEXT");
            return !(dest.size != 0 && dest.size < size);
        }
        return true;
    }
    return false;
}

udb_schema::udb_schema(bool flag) : flag_(flag) {
    tk_log_printf(1, "udb_schema::ctor");
}

udb_schema::~udb_schema() {
    tk_log_printf(1, "udb_schema::dtor");
    fields_.clear();
    tk_log_printf(1, "udb_schema::dtor - at the end");
}

void udb_schema::push_back(std::unique_ptr<t_ftd> ftd) {
    fields_.push_back(std::move(ftd));
}

bool udb_schema::conform_to(const udb_schema& dest, bool by_name) const {
    tk_log_printf(1, "udb_schema::conform_to");
    if (size() != dest.size()) {
        tk_log_printf(2, "Tables are not conformed: src_size=%d, dest_size=%d", size(),
                      dest.size());
        return false;
    }
    for (size_t i = 0; i < size(); ++i) {
        const t_ftd& src = *fields_[i];
        const t_ftd* d = &dest[i];
        if (by_name) {
            if (!dest.find_field(src.name)) {
                tk_log_wprintf(2, L"Field '%s' is not found in record", src.name);
                return false;
            }
            d = &dest.get_field2(src.name);
        }
        if (!src.conform_to(*d)) {
            tk_log_printf(2,
                          "Column #%d doesn't conform (src_vt=%d, src_size=%d, dest_vt=%d, "
                          "dest_size=%d)",
                          i + 1, src.vartype, src.size, d->vartype, d->size);
            return false;
        }
    }
    return true;
}

const t_ftd* udb_schema::lookup(const std::wstring& name) const {
    for (const auto& f : fields_)
        if (tk_iequal(f->name, name)) return f.get();
    return nullptr;
}

int udb_schema::find_index(const std::wstring& name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (tk_iequal(fields_[i]->name, name)) return static_cast<int>(i);
    return -1;
}

bool udb_schema::find_field(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_schema::find_field(%s)", name);
    tk_log_printf(1, "Schema size=%d", fields_.size());
    for (size_t i = 0; i < fields_.size(); ++i) {
        tk_log_printf(1, "Iterating field #%d", i);
        tk_log_wprintf(1, L"Compare with field: '%s'", fields_[i]->name);
        if (tk_iequal(fields_[i]->name, name)) {
            tk_log_printf(1, "Field found!!!");
            return true;
        }
    }
    tk_log_printf(1, "Field NOT found!!!");
    return false;
}

namespace {
const t_ftd& empty_ftd() {
    static const t_ftd empty;
    return empty;
}
}  // namespace

const t_ftd& udb_schema::get_field1(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_schema::get_field1(%s)", name);
    if (const t_ftd* f = lookup(name)) return *f;
    tk_log_wprintf(2, L"Field '%s' not found", name);
    return empty_ftd();
}

const t_ftd& udb_schema::get_field2(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_schema::get_field2(%s)", name);
    if (const t_ftd* f = lookup(name)) return *f;
    tk_log_wprintf(2, L"Field '%s' not found", name);
    return empty_ftd();
}

uint32_t udb_schema::get_field_size(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_schema::get_field_size(%s)", name);
    if (const t_ftd* f = lookup(name)) return static_cast<uint32_t>(f->size);
    tk_log_wprintf(3, L"Field '%s' not found", name);
    return 0xFFFFFFFFu;
}

VARTYPE udb_schema::get_field_type(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_schema::get_field_type(%s)", name);
    if (const t_ftd* f = lookup(name)) return f->vartype;
    tk_log_wprintf(2, L"Field '%s' not found", name);
    return VT_NULL;
}
