#include "UDB/udb_rec.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

udb_field::udb_field() {
    tk_log_printf(1, "udb_field::empty ctor");
}

udb_field::udb_field(const std::wstring& name, uint32_t size, const ole_variant& value, bool flag1,
                     bool flag2)
    : ole_variant(value), size_(size), name_(name), flag1_(flag1), flag2_(flag2) {
    tk_log_printf(1, "udb_field::ctor #2");
    tk_log_wprintf(1, L"name=%s, size=%d", name_, size_);
}

udb_field::udb_field(const std::wstring& name, uint32_t size, ole_variant&& value)
    : ole_variant(std::move(value)), size_(size), name_(name) {
    tk_log_printf(1, "udb_field::ctor #2");
    tk_log_wprintf(1, L"name=%s, size=%d", name_, size_);
}

udb_field::udb_field(const udb_field& that)
    : ole_variant(that),
      size_(that.size_),
      name_(that.name_),
      flag1_(that.flag1_),
      flag2_(that.flag2_) {
    tk_log_printf(1, "udb_field::copy ctor");
}

VARTYPE udb_field::get_type() const {
    tk_log_printf(1, "ole_variant::get_type");
    return ole_variant::get_type();
}

uint32_t udb_field::get_length() const {
    if (const auto* bytes = get_byte_array()) return static_cast<uint32_t>(bytes->size());
    if (get_type() == VT_BSTR) return static_cast<uint32_t>(get_text_length());
    return size_;
}

udb_record::~udb_record() {
    tk_log_printf(1, "udb_record::dtor");
    tk_log_printf(1, "udb_record::reset");
    fields_.clear();
}

bool udb_record::find_field(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_record::find_field(%s)", name);
    for (const auto& f : fields_) {
        tk_log_wprintf(1, L"Processing %s", f->get_name());
        if (tk_iequal(f->get_name(), name)) return true;
    }
    return false;
}

const udb_field& udb_record::get_field(const std::wstring& name) const {
    tk_log_wprintf(1, L"udb_record::get_field(%s)", name);
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (tk_iequal(fields_[i]->get_name(), name)) {
            tk_log_printf(1, "Field found at pos=%d", i);
            return *fields_[i];
        }
    }
    static const udb_field empty;
    return empty;
}

uint32_t udb_record::get_total_size() const {
    tk_log_printf(1, "udb_record::get_total_size");
    uint64_t sum = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
        const udb_field* f = fields_[i].get();
        if (!f) {
            tk_log_printf(3, "Incorrect field #%d", i);
            continue;
        }
        if (f->get_type() != VT_EMPTY) sum += f->get_length();
        tk_log_printf(1, "size=%d", sum);
        tk_log_printf(1, "processed field %d of %d", i, fields_.size());
    }
    // The sum is a buffer-size estimate; keep it from wrapping.
    return sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}
