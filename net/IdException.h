#pragma once

#include "base/Exception.h"

#include <string>

// The failures of the web layer. Every one derives from EIdException, so a catch of
// base::Exception (or EIdException) catches them all.
namespace net {

class EIdException : public base::Exception {
public:
    using base::Exception::Exception;
};

class EIdAlreadyConnected : public EIdException {
public:
    EIdAlreadyConnected() : EIdException("Already connected.") {}
};

// Failures that are an expected end rather than a fault.
class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
    EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

class EIdInvalidServiceName : public EIdException {
public:
    explicit EIdInvalidServiceName(const std::string &service)
        : EIdException(service + " is not a valid service.") {}
};

// A reply status that the client treats as a failure; the message is the status text.
class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(int statusCode, const std::string &statusText)
        : EIdException(statusText), statusCode_(statusCode) {}

    int StatusCode() const { return statusCode_; }

private:
    int statusCode_;
};

class EIdInvalidSocket : public EIdException {
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

// A failed socket call; the code is a Windows Sockets error number (10061 for a refusal).
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int socketErrorCode, const std::string &message)
        : EIdException(message), socketErrorCode_(socketErrorCode) {}

    int SocketErrorCode() const { return socketErrorCode_; }

private:
    int socketErrorCode_;
};

class EIdFailedToRetreiveTimeZoneInfo : public EIdException {
public:
    EIdFailedToRetreiveTimeZoneInfo()
        : EIdException("Failed attempting to retrieve time zone information.") {}
};

class EIdStackCanNotLoadWinsock : public EIdException {
public:
    explicit EIdStackCanNotLoadWinsock(const std::string &library)
        : EIdException(library + " could not be loaded.") {}
};

class EIdStackError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdStackError {
public:
    EIdStackInitializationFailed() : EIdStackError("Winsock Initialization Error.") {}
};

class EIdStackSetSizeExceeded : public EIdStackError {
public:
    EIdStackSetSizeExceeded() : EIdStackError("Set Size Exceeded.") {}
};

class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
public:
    EIdCouldNotBindSocket()
        : EIdSocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

class EIdTCPConnectionError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdObjectTypeNotSupported : public EIdTCPConnectionError {
public:
    EIdObjectTypeNotSupported() : EIdTCPConnectionError("Object type not supported.") {}
};

class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError {
public:
    EIdNotEnoughDataInBuffer() : EIdTCPConnectionError("Not enough data in buffer.") {}
};

class EIdInterceptPropIsNil : public EIdTCPConnectionError {
public:
    EIdInterceptPropIsNil()
        : EIdTCPConnectionError("InterceptEnabled cannot be set to true when Intercept is nil.") {}
};

class EIdInterceptPropInvalid : public EIdTCPConnectionError {
public:
    EIdInterceptPropInvalid() : EIdTCPConnectionError("Intercept value is not valid") {}
};

class EIdNoDataToRead : public EIdTCPConnectionError {
public:
    EIdNoDataToRead() : EIdTCPConnectionError("No data to read.") {}
};

} // namespace net
