// Service definition of the device-configuration service, read by soapcpp2.
// The WS-Addressing 2004/08 declarations are our own: the header of this
// service has exactly five members, none of them must-understand.

//gsoap wsa schema namespace: http://schemas.xmlsoap.org/ws/2004/08/addressing
//gsoap wsa schema elementForm: qualified
//gsoap wsa schema attributeForm: unqualified

//gsoap soap service name: DeviceConfig
//gsoap soap service namespace: urn:quorvil:device-configuration
//gsoap soap service location: http://127.0.0.1:8000
//gsoap soap service style: document
//gsoap soap service encoding: literal
//gsoap soap schema namespace: urn:quorvil:device-configuration
//gsoap soap schema elementForm: qualified
//gsoap soap schema attributeForm: unqualified
//gsoap soap service method-action: Set ""
//gsoap soap service method-action: Get ""

// xsd:long on the wire, a signed 32-bit integer in memory: a value beyond
// 32 bits is a type error on every build.
typedef int xsd__long;

typedef struct wsa__EndpointReferenceType wsa__EndpointReferenceType;
typedef struct wsa__ReferencePropertiesType wsa__ReferencePropertiesType;
typedef struct wsa__ReferenceParametersType wsa__ReferenceParametersType;
typedef struct wsa__ServiceNameType wsa__ServiceNameType;
typedef struct wsa__Relationship wsa__Relationship;

enum wsa__RelationshipTypeValues { wsa__Reply };
typedef enum wsa__RelationshipTypeValues wsa__RelationshipTypeValues;

enum wsa__FaultSubcodeValues {
  wsa__InvalidMessageInformationHeader,
  wsa__MessageInformationHeaderRequired,
  wsa__DestinationUnreachable,
  wsa__ActionNotSupported,
  wsa__EndpointUnavailable
};
typedef enum wsa__FaultSubcodeValues wsa__FaultSubcodeValues;

struct wsa__EndpointReferenceType {
  char* Address 1;
  struct wsa__ReferencePropertiesType* ReferenceProperties 0;
  struct wsa__ReferenceParametersType* ReferenceParameters 0;
  _QName* PortType 0;
  struct wsa__ServiceNameType* ServiceName 0;
  int __size;
  _XML* __any;
  @_XML __anyAttribute;
};

struct wsa__ReferencePropertiesType {
  int __size;
  _XML* __any;
};

struct wsa__ReferenceParametersType {
  int __size;
  _XML* __any;
};

struct wsa__ServiceNameType {
  _QName __item;
  @char* PortName 0;
  @_XML __anyAttribute;
};

struct wsa__Relationship {
  char* __item;
  @wsa__RelationshipTypeValues* RelationshipType 0;
  @_XML __anyAttribute;
};

typedef struct wsa__EndpointReferenceType _wsa__EndpointReference;
typedef char* _wsa__MessageID;
typedef struct wsa__Relationship _wsa__RelatesTo;
typedef char* _wsa__To;
typedef char* _wsa__Action;
typedef struct wsa__EndpointReferenceType _wsa__From;
typedef struct wsa__EndpointReferenceType _wsa__ReplyTo;
typedef struct wsa__EndpointReferenceType _wsa__FaultTo;
typedef unsigned int _wsa__ReplyAfter;

struct SOAP_ENV__Header {
  _wsa__MessageID wsa__MessageID 0;
  _wsa__From* wsa__From 0;
  _wsa__ReplyTo* wsa__ReplyTo 0;
  _wsa__To wsa__To 0;
  _wsa__Action wsa__Action 0;
};

int soap__Set(wchar_t* xIn, xsd__long& r);
int soap__Get(wchar_t* xIn, wchar_t*& xOut);
