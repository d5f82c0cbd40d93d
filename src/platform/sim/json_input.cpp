// Input files are read through one descriptor with a size limit, and parsed
// by a builder of our own instead of nlohmann's: its ordered object inserts
// each member by a linear search for the key, so an object of a few million
// members (easily within the size limit) would take hours. Here each object
// being built keeps a hash index of its keys instead. As with nlohmann, a key
// given twice keeps its first position and its last value.
#include "json_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim_state.h"

namespace sim {
namespace {

// Deeper documents are refused as they are read: each level costs memory,
// and a registry 100,000 entries deep needs 200,001 levels.
constexpr size_t kMaxDepth = 1'000'000;

// Thrown when a document is nested deeper than kMaxDepth.
struct NestedTooDeeply {};

// An object or array being built, and for an object the index of its keys.
struct OpenValue {
    Json* value;
    std::unique_ptr<std::unordered_map<std::string, size_t>> keys;
};

class Builder {
public:
    explicit Builder(Json& root) : root_(root) {}

    bool null() { return place(nullptr); }
    bool boolean(bool value) { return place(value); }
    bool number_integer(Json::number_integer_t value) { return place(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return place(value); }
    bool number_float(Json::number_float_t value, const std::string& /*text*/)
    {
        return place(value);
    }
    bool string(std::string& value) { return place(std::move(value)); }
    bool binary(Json::binary_t& value) { return place(std::move(value)); }

    bool start_object(size_t /*size*/) { return open(Json::value_t::object); }
    bool start_array(size_t /*size*/) { return open(Json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& name)
    {
        OpenValue& top = open_.back();
        auto& members =
            static_cast<Json::object_t::Container&>(*top.value->get_ptr<Json::object_t*>());
        if (!top.keys) top.keys = std::make_unique<std::unordered_map<std::string, size_t>>();
        auto [found, added] = top.keys->try_emplace(name, members.size());
        if (added) members.emplace_back(std::move(name), nullptr);
        member_ = &members[found->second].second;
        return true;
    }

    template <class Exception>
    bool parse_error(size_t /*position*/, const std::string& /*token*/, const Exception& error)
    {
        throw error;
    }

private:
    // Puts a value where the document expects the next one; returns where.
    template <typename Value>
    Json* put(Value&& value)
    {
        if (open_.empty()) {
            root_ = Json(std::forward<Value>(value));
            return &root_;
        }
        Json& parent = *open_.back().value;
        if (parent.is_array()) {
            parent.get_ptr<Json::array_t*>()->emplace_back(std::forward<Value>(value));
            return &parent.get_ptr<Json::array_t*>()->back();
        }
        *member_ = Json(std::forward<Value>(value));
        return member_;
    }
    template <typename Value>
    bool place(Value&& value)
    {
        put(std::forward<Value>(value));
        return true;
    }
    bool open(Json::value_t type)
    {
        if (open_.size() >= kMaxDepth) throw NestedTooDeeply{};
        open_.push_back({put(type), nullptr});
        return true;
    }
    bool close()
    {
        open_.pop_back();
        return true;
    }

    Json& root_;
    std::vector<OpenValue> open_;
    Json* member_ = nullptr;
};

}  // namespace

bool readInput(int fd, std::string* text, std::string* error)
{
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<uint64_t>(status.st_size) > kMaxInputBytes) {
        *error = "larger than 64 MiB";
        return false;
    }
    try {
        text->clear();
        char buffer[65536];
        while (text->size() <= kMaxInputBytes) {
            ssize_t count = read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                *error = "cannot read (" + describeError(errno) + ")";
                return false;
            }
            if (count == 0) return true;
            text->append(buffer, static_cast<size_t>(count));
        }
    } catch (const std::bad_alloc&) {
        *error = "too large to load";
        return false;
    }
    *error = "larger than 64 MiB";
    return false;
}

bool parseJson(std::string_view text, Json* document, std::string* error)
{
    try {
        Json parsed;
        Builder builder(parsed);
        Json::sax_parse(text.begin(), text.end(), &builder);
        *document = std::move(parsed);
        return true;
    } catch (const Json::parse_error& e) {
        *error = parseErrorMessage(text, e.byte);
    } catch (const Json::exception& e) {
        // A number past the range of a double, such as 1e400, is refused
        // with an out_of_range exception instead of a parse error.
        std::string what = e.what();
        *error = "invalid json: " + what.substr(what.find("] ") + 2);
    } catch (const NestedTooDeeply&) {
        *error = "invalid json: nested more than 1000000 levels deep";
    } catch (const std::bad_alloc&) {
        *error = "too large to load";
    }
    return false;
}

}  // namespace sim
