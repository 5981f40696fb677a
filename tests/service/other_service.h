// Service definition of an unrelated service, generated into the test host
// to stand beside the plug-in's own code in one process.

//gsoap other service name: OtherService
//gsoap other service namespace: urn:quorvil-test:other
//gsoap other service style: document
//gsoap other service encoding: literal
//gsoap other schema namespace: urn:quorvil-test:other
//gsoap other schema elementForm: qualified

struct SOAP_ENV__Header {
  char* other__Ticket 0;
};

int other__Ping(char* text, int& pong);
