#include "marks_error.h"

#include <filesystem>
#include <new>
#include <system_error>

namespace {

// The system's text as a sentence.
std::string Sentence(std::string text)
{
    if (!text.empty() && text.back() != '.')
        text.push_back('.');
    return text;
}

} // namespace

std::string ErrorMessageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EMarksError& e) {
        return e.what();
    } catch (const std::bad_alloc&) {
        return "Insufficient memory for this operation.";
    } catch (const std::length_error&) {
        // A size beyond what a string or a list can ever hold.
        return "Insufficient memory for this operation.";
    } catch (const std::filesystem::filesystem_error& e) {
        if (e.path1().empty())
            return "A file operation failed. " + Sentence(e.code().message());
        return "A file operation on \"" + e.path1().string() + "\" failed. " + Sentence(e.code().message());
    } catch (const std::system_error& e) {
        return "The operation failed. " + Sentence(e.code().message());
    } catch (...) {
        return "The operation could not be completed because of an internal error.";
    }
}
