// SPDX-License-Identifier: MIT
// The sample host's service definition, read by soapcpp2: the command message
// `quorvil-agent compose` writes and `quorvil-agent send` posts. A command
// arrives as one PostCommand body element; the template rides along as a MIME
// attachment after the envelope (multipart/related), which the runtime keeps
// in mime.list. Your agent's own message will differ; what the plug-in needs
// is only the received context with its MIME parts.

//gsoap agent service name: AgentHost
//gsoap agent service namespace: urn:quorvil:agent-host
//gsoap agent service location: http://127.0.0.1:8080
//gsoap agent service style: document
//gsoap agent service encoding: literal
//gsoap agent service method-action: PostCommand ""
//gsoap agent schema namespace: urn:quorvil:agent-host
//gsoap agent schema elementForm: qualified
//gsoap agent schema attributeForm: unqualified

// One attribute of the command: Key="..." with the value as the element's text.
struct agent__Attribute {
  char* __item;
  @char* Key 1;
};

// The leading underscore makes these element declarations, so that the body
// holds agent:PostCommand itself rather than an operation wrapper around it.
struct _agent__PostCommand {
  char* Name 1;
  int __sizeAttribute;
  struct agent__Attribute* Attribute 0;
  char* Data 1;
};

// Result stays out of the response unless the plug-in called SetResult.
struct _agent__PostCommandResponse {
  int* Result 0;
};

int __agent__PostCommand(struct _agent__PostCommand* agent__PostCommand,
                         struct _agent__PostCommandResponse* agent__PostCommandResponse);
