#include "ModuleModel.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint8_t Esc = 0x1B;
constexpr std::size_t ChunkHeaderSize = 7;
constexpr std::size_t MaxChunkData = 1024;
// Longer command lines are cut off and answered with "ERROR".
constexpr std::size_t MaxLineLength = 512;

const std::string Ok = "OK\r\n";
const std::string Error = "ERROR\r\n";
const std::string ChunkAck = "\x1bO";
const std::string AppReadyBanner = "Va2ZeZa APP";
const std::string UpgradeSuccessBanner = "APP RESET OTH FW-UP-SUCCESS";
const std::string UploadStartPrefix = "AT+SOTHFWUPSTART=1,0,";
const std::string LogLevelPrefix = "AT+YLOGSL=";

// Noise that resembles nothing the flasher waits for: no "OK" line, no ESC 'O'.
const std::vector<std::uint8_t> Noise = {'\r', '\n', '#', 0x00, 0x7F, 0x80, 0xFF, Esc, 'x',
                                         ' ',  'n',  'o', 'i',  's',  'e',  '\r', '\n'};

bool IsDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& s, std::size_t from)
{
    return from < s.size() && std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(),
                                          [](char c) { return IsDigit(static_cast<std::uint8_t>(c)); });
}

} // namespace

ModuleModel::ModuleModel(ModuleConfig config, TimePoint powerOn)
    : config_(std::move(config)), now_(powerOn), bootEnd_(powerOn + config_.bootTime), nextSend_(powerOn),
      pendingBanner_(config_.faults.noStartBanner ? Banner::None : Banner::AppReady), echo_(config_.echo)
{
    status_.reportedVersion = config_.versionBefore;
    lastUploadByte_ = powerOn;
}

void ModuleModel::Receive(std::uint8_t byte, TimePoint at)
{
    Touch(at);
    ++status_.bytesReceived;
    switch (status_.phase) {
    case ModuleStatus::Phase::Dark:
    case ModuleStatus::Phase::Booting:
    case ModuleStatus::Phase::HungUp:
        ++status_.bytesIgnored;
        break;
    case ModuleStatus::Phase::Command:
        CommandByte(byte);
        break;
    case ModuleStatus::Phase::Preparing:
        // The LF that ends the start command is no image byte.
        if (byte != '\n' || !firstByteAfterStart_) {
            ++status_.bytesDroppedBeforeStartAck;
        }
        firstByteAfterStart_ = false;
        break;
    case ModuleStatus::Phase::Upload:
        lastUploadByte_ = now_;
        UploadByte(byte);
        break;
    }
}

void ModuleModel::Receive(const std::vector<std::uint8_t>& bytes, TimePoint at)
{
    Receive(bytes.data(), bytes.size(), at, Clock::duration::zero());
}

void ModuleModel::Receive(const std::uint8_t* data, std::size_t size, TimePoint firstDone, Clock::duration byteTime)
{
    const auto doneAt = [&](std::size_t i) { return firstDone + byteTime * static_cast<Clock::rep>(i); };
    std::size_t i = 0;
    while (i < size) {
        Touch(doneAt(i));
        if (status_.phase != ModuleStatus::Phase::Upload || chunkSize_ == 0) {
            Receive(data[i], doneAt(i));
            ++i;
            continue;
        }
        const std::size_t take = std::min(size - i, chunkSize_ - chunkFill_);
        status_.image.insert(status_.image.end(), data + i, data + i + take);
        status_.bytesReceived += take;
        i += take;
        chunkFill_ += take;
        Touch(doneAt(i - 1));
        lastUploadByte_ = now_;
        if (chunkFill_ == chunkSize_) {
            ChunkComplete();
        }
    }
}

void ModuleModel::PortOpened(TimePoint at)
{
    // What fell due before the opening was seen happened while the port was
    // closed, however late the simulator got round to seeing it.
    Touch(at);
    Note("port opened");
    status_.portOpen = true;
    ++status_.portOpenings;
    awaitingNewOpener_ = false;
    AnnounceIfDue();
}

void ModuleModel::PortClosed(TimePoint at)
{
    Touch(at);
    status_.portOpen = false;
    Note("port closed");
}

void ModuleModel::ClearFaults(TimePoint at)
{
    Touch(at);
    config_.faults = ModuleFaults{};
    ++status_.repairs;
    nextSend_ = now_;
    if (status_.phase == ModuleStatus::Phase::HungUp) {
        ClearUpload();
        status_.phase = ModuleStatus::Phase::Command;
    }
    Note("faults cleared; reports version \"" + status_.reportedVersion + "\"");
}

void ModuleModel::Advance(TimePoint now)
{
    Touch(now);
}

std::optional<ModuleModel::TimePoint> ModuleModel::NextDeadline() const
{
    switch (status_.phase) {
    case ModuleStatus::Phase::Dark:
        return darkEnd_;
    case ModuleStatus::Phase::Booting:
        return bootEnd_;
    case ModuleStatus::Phase::Preparing:
        return prepareEnd_;
    case ModuleStatus::Phase::Upload:
        return lastUploadByte_ + config_.uploadIdleTimeout;
    default:
        return std::nullopt;
    }
}

std::vector<ModuleModel::Output> ModuleModel::TakeOutput()
{
    std::vector<Output> out;
    out.swap(output_);
    return out;
}

std::optional<std::size_t> ModuleModel::ParseChunkHeader(const std::uint8_t* header, std::size_t size)
{
    if (header == nullptr || size != ChunkHeaderSize || header[0] != Esc || header[1] != 'M' || header[6] != ':') {
        return std::nullopt;
    }
    std::size_t value = 0;
    for (std::size_t i = 2; i < 6; ++i) {
        if (!IsDigit(header[i])) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::size_t>(header[i] - '0');
    }
    return value;
}

std::optional<std::uint64_t> ModuleModel::ParseUploadStart(const std::string& line)
{
    if (line.compare(0, UploadStartPrefix.size(), UploadStartPrefix) != 0 ||
        !AllDigits(line, UploadStartPrefix.size())) {
        return std::nullopt;
    }
    const std::string digits = line.substr(UploadStartPrefix.size());
    // Twelve digits are far beyond any flash; more could overflow.
    if (digits.size() > 12) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

void ModuleModel::Note(std::string text)
{
    status_.events.push_back(ModuleStatus::Event{now_, std::move(text)});
}

void ModuleModel::Touch(TimePoint at)
{
    now_ = std::max(now_, at);
    if (status_.phase == ModuleStatus::Phase::Dark && now_ >= darkEnd_) {
        // Power is back: a boot as after power-on, from the end of the dark.
        status_.events.push_back(ModuleStatus::Event{darkEnd_, "power back"});
        BeginBoot(config_.faults.noStartBanner ? Banner::None : Banner::AppReady, ReplyStep::Kind::StartBanner,
                  darkEnd_);
    }
    if (status_.phase == ModuleStatus::Phase::Booting && now_ >= bootEnd_) {
        status_.phase = ModuleStatus::Phase::Command;
        Note("booted");
    }
    if (status_.phase == ModuleStatus::Phase::Preparing && now_ >= prepareEnd_) {
        AcknowledgeUploadStart();
    }
    if (status_.phase == ModuleStatus::Phase::Upload && now_ - lastUploadByte_ >= config_.uploadIdleTimeout) {
        AbandonUpload();
    }
    AnnounceIfDue();
}

void ModuleModel::Emit(const std::vector<std::uint8_t>& bytes)
{
    if (config_.faults.silent || bytes.empty()) {
        return;
    }
    if (!status_.portOpen) {
        status_.bytesLost += bytes.size();
        return;
    }
    status_.bytesSent += bytes.size();
    TimePoint at = std::max(now_, nextSend_);
    const auto gap = config_.faults.trickleGap;
    if (gap > Clock::duration::zero()) {
        for (const std::uint8_t byte : bytes) {
            output_.push_back(Output{at, {byte}});
            at += gap;
        }
        status_.bytesTrickled += bytes.size();
        nextSend_ = at;
        at -= gap;
    } else {
        output_.push_back(Output{at, bytes});
        nextSend_ = at;
    }
    // A module that is still answering is not idle.
    if (status_.phase == ModuleStatus::Phase::Upload) {
        lastUploadByte_ = std::max(lastUploadByte_, at);
    }
}

void ModuleModel::HoldBack(Clock::duration pause)
{
    nextSend_ = std::max(now_, nextSend_) + pause;
}

void ModuleModel::Emit(const std::string& text)
{
    Emit(std::vector<std::uint8_t>(text.begin(), text.end()));
}

void ModuleModel::Reply(ReplyStep step, const std::string& text)
{
    const ModuleFaults& faults = config_.faults;
    const bool atStep = step.kind != ReplyStep::Kind::None;
    if (atStep && step == faults.silentStep) {
        ++status_.repliesHeldBack;
        Note("silent for " + std::to_string(faults.silentFor.count()) + " ms before the reply at " + step.Name());
        HoldBack(faults.silentFor);
    }
    if (faults.garbage) {
        Emit(Noise);
    }
    if (atStep && step == faults.splitStep && text.size() > faults.splitAt) {
        ++status_.repliesSplit;
        Note("the reply at " + step.Name() + " split after " + std::to_string(faults.splitAt) + " bytes");
        Emit(text.substr(0, faults.splitAt));
        HoldBack(faults.splitGap);
        Emit(text.substr(faults.splitAt));
        return;
    }
    Emit(text);
}

void ModuleModel::Restart(Banner banner, ReplyStep::Kind bannerStep)
{
    ++status_.restarts;
    Note("restart " + std::to_string(status_.restarts));
    BeginBoot(banner, bannerStep, now_);
}

void ModuleModel::BeginBoot(Banner banner, ReplyStep::Kind bannerStep, TimePoint start)
{
    status_.phase = ModuleStatus::Phase::Booting;
    bootEnd_ = start + config_.bootTime;
    pendingBanner_ = banner;
    bannerStep_ = bannerStep;
    awaitingNewOpener_ = true;
    echo_ = config_.echo;
    line_.clear();
    lineOverflow_ = false;
    ClearUpload();
}

void ModuleModel::LosePower(const std::string& when)
{
    ++status_.powerLosses;
    Note("power lost " + when);
    status_.phase = ModuleStatus::Phase::Dark;
    darkEnd_ = now_ + config_.faults.darkTime;
    pendingBanner_ = Banner::None;
    // An image that waits for its accept lives in memory the power takes with it.
    status_.imagePending = false;
    line_.clear();
    lineOverflow_ = false;
    ClearUpload();
}

void ModuleModel::ClearUpload()
{
    header_.clear();
    chunkSize_ = 0;
    chunkFill_ = 0;
}

void ModuleModel::AnnounceIfDue()
{
    if (status_.phase != ModuleStatus::Phase::Command || pendingBanner_ == Banner::None) {
        return;
    }
    if (!config_.bannersLostWhilePortClosed && (!status_.portOpen || awaitingNewOpener_)) {
        return;
    }
    const std::string& banner = pendingBanner_ == Banner::AppReady ? AppReadyBanner : UpgradeSuccessBanner;
    pendingBanner_ = Banner::None;
    if (config_.faults.silent) {
        return;
    }
    if (!status_.portOpen) {
        ++status_.bannersLost;
        Note("banner \"" + banner + "\" lost");
    } else {
        status_.banners.push_back(banner);
        Note("banner \"" + banner + "\"");
    }
    const ReplyStep::Kind step = bannerStep_;
    bannerStep_ = ReplyStep::Kind::None;
    Reply(ReplyStep{step, 0}, banner + "\r\n");
}

void ModuleModel::CommandByte(std::uint8_t byte)
{
    // A line end echoes as CR LF, so an echoed command stands on a line of its
    // own before the reply; the LF that follows the CR is not echoed again.
    if (byte == '\n') {
        return;
    }
    if (echo_) {
        Emit(byte == '\r' ? std::vector<std::uint8_t>{'\r', '\n'} : std::vector<std::uint8_t>{byte});
    }
    if (byte != '\r') {
        if (line_.size() < MaxLineLength) {
            line_.push_back(static_cast<char>(byte));
        } else {
            lineOverflow_ = true;
        }
        return;
    }
    std::string line;
    line.swap(line_);
    if (lineOverflow_) {
        lineOverflow_ = false;
        status_.commands.push_back(line);
        Note("overlong command line");
        Reply(Error);
        return;
    }
    Execute(line);
}

void ModuleModel::Execute(const std::string& line)
{
    if (line.empty()) {
        return;
    }
    status_.commands.push_back(line);
    Note("command \"" + line + "\"");

    if (line == "AT" || line == "AT&W0") {
        Reply(Ok);
    } else if (line == "ATE0" || line == "ATE1") {
        echo_ = line == "ATE1";
        Reply(ReplyStep{ReplyStep::Kind::EchoOff, 0}, Ok);
    } else if (line == "AT+VER=?") {
        Reply(ReplyStep{ReplyStep::Kind::Version, 0},
              "APP VERSION=" + status_.reportedVersion + "\r\nBOOT VERSION=1.4.2\r\nRADIO VERSION=3.1.7\r\nOK\r\n");
    } else if (line == "AT+YLC?") {
        Reply(ReplyStep{ReplyStep::Kind::Ylc, 0},
              config_.faults.wrongYlcReply ? "+YLC:0,1\r\nOK\r\n" : "+YLC:1,1\r\nOK\r\n");
    } else if (line.compare(0, LogLevelPrefix.size(), LogLevelPrefix) == 0 && AllDigits(line, LogLevelPrefix.size())) {
        Reply(Ok);
    } else if (line == "AT+SOTAFWUPACCEPT") {
        const ReplyStep step{ReplyStep::Kind::Accept, 0};
        if (!status_.imagePending) {
            Reply(step, Error);
            return;
        }
        Reply(step, Ok);
        status_.imagePending = false;
        using AfterAccept = ModuleFaults::AfterAccept;
        if (config_.faults.powerLossAfterAccept == AfterAccept::OldFirmware) {
            LosePower("at the restart after the accept, before the module kept it");
            return;
        }
        status_.upgradeAccepted = true;
        status_.reportedVersion = config_.versionAfter;
        if (config_.faults.powerLossAfterAccept == AfterAccept::NewFirmware) {
            LosePower("at the restart after the accept");
            return;
        }
        Restart(config_.faults.noBannerAfterAccept ? Banner::None : Banner::AppReady, ReplyStep::Kind::AcceptBanner);
    } else if (line == "AT+RESET=1") {
        Reply(Ok);
        // A received image survives a reset: the module boots into it again.
        Restart(status_.imagePending ? Banner::UpgradeSuccess : Banner::AppReady, ReplyStep::Kind::None);
    } else if (const auto size = ParseUploadStart(line)) {
        if (*size == 0 || *size > config_.maxImageSize) {
            Reply(ReplyStep{ReplyStep::Kind::UploadStart, 0}, Error);
            return;
        }
        status_.phase = ModuleStatus::Phase::Preparing;
        prepareEnd_ = now_ + config_.startAckDelay;
        firstByteAfterStart_ = true;
        status_.image.clear();
        status_.announcedImageSize = *size;
        status_.chunksReceived = 0;
        status_.imagePending = false;
        ClearUpload();
        Touch(now_);
    } else {
        Reply(Error);
    }
}

void ModuleModel::AcknowledgeUploadStart()
{
    status_.phase = ModuleStatus::Phase::Upload;
    lastUploadByte_ = now_;
    if (config_.startAckDelay > std::chrono::milliseconds::zero()) {
        Note("upload start acknowledged");
    }
    Reply(ReplyStep{ReplyStep::Kind::UploadStart, 0}, Ok);
}

void ModuleModel::UploadByte(std::uint8_t byte)
{
    if (chunkSize_ > 0) {
        status_.image.push_back(byte);
        if (++chunkFill_ == chunkSize_) {
            ChunkComplete();
        }
        return;
    }

    // Between chunks the module waits for ESC 'M'; anything else is line noise.
    if (header_.empty() && byte != Esc) {
        ++status_.bytesIgnored;
        return;
    }
    if (header_.size() == 1 && byte != 'M') {
        status_.bytesIgnored += 1;
        if (byte != Esc) {
            header_.clear();
            ++status_.bytesIgnored;
        }
        return;
    }
    header_.push_back(byte);
    if (header_.size() < ChunkHeaderSize) {
        return;
    }

    const std::uint32_t chunkNumber = status_.chunksReceived + 1;
    if (config_.faults.hangUpAtChunk != 0 && chunkNumber == config_.faults.hangUpAtChunk) {
        status_.phase = ModuleStatus::Phase::HungUp;
        output_.clear();
        Note("hung up at chunk " + std::to_string(chunkNumber));
        return;
    }
    if (config_.faults.powerLossAtChunk != 0 && chunkNumber == config_.faults.powerLossAtChunk) {
        LosePower("at chunk " + std::to_string(chunkNumber));
        return;
    }
    const auto size = ParseChunkHeader(header_.data(), header_.size());
    header_.clear();
    const std::uint64_t remaining = status_.announcedImageSize - status_.image.size();
    if (!size || *size == 0 || *size > MaxChunkData || *size > remaining) {
        AbandonUpload();
        return;
    }
    chunkSize_ = *size;
    chunkFill_ = 0;
}

void ModuleModel::ChunkComplete()
{
    const std::uint32_t number = ++status_.chunksReceived;
    chunkSize_ = 0;
    chunkFill_ = 0;
    const bool last = status_.image.size() == status_.announcedImageSize;

    Note("chunk " + std::to_string(number));
    if (number != config_.faults.noAckAtChunk) {
        const bool wrong = number == config_.faults.wrongAckAtChunk;
        Reply(ReplyStep{ReplyStep::Kind::Chunk, number}, last != wrong ? Ok : ChunkAck);
    }
    if (!last) {
        return;
    }
    ++status_.imagesCompleted;
    status_.imagePending = true;
    Note("image of " + std::to_string(status_.image.size()) + " bytes received in " + std::to_string(number) +
         " chunks");
    if (config_.faults.powerLossAfterUpload) {
        LosePower("at the restart into the new image");
        return;
    }
    Restart(config_.faults.noBannerAfterUpload ? Banner::None : Banner::UpgradeSuccess, ReplyStep::Kind::UpgradeBanner);
}

void ModuleModel::AbandonUpload()
{
    Note("upload abandoned after " + std::to_string(status_.image.size()) + " bytes");
    status_.phase = ModuleStatus::Phase::Command;
    ClearUpload();
    Reply(Error);
}
